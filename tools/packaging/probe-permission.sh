#!/bin/sh
# Gives the installed binary the cap_net_raw file capability when ping sockets are not
# allowed for every group (net.ipv4.ping_group_range), so that its echo probe can fall
# back to a raw socket, as a ping program does. Run by `cmake --install` and by the Debian
# package's postinst.
#   probe-permission.sh /path/to/ostrelin
# OSTRELIN_PING_GROUP_RANGE_FILE names another file to read the range from (the tests use
# it to see both decisions on one machine); it only changes what is read, never which
# binary is touched. An unreadable or malformed range counts as "not every group".
set -eu
[ $# -eq 1 ] || { echo "usage: probe-permission.sh /path/to/ostrelin" >&2; exit 2; }
binary=$1
if [ ! -f "$binary" ] || [ -L "$binary" ]; then
  echo "ostrelin: $binary is not a regular file; no capability given" >&2
  exit 1
fi
range_file=${OSTRELIN_PING_GROUP_RANGE_FILE:-/proc/sys/net/ipv4/ping_group_range}
range=$({ tr -s ' \t' '  ' < "$range_file" | head -n 1; } 2>/dev/null) || range=""
low=${range%% *}
high=${range##* }
every_group=no
case "$low$high" in
  *[!0-9]*|"") ;;
  *) if [ "${#low}" -le 10 ] && [ "${#high}" -le 10 ] && [ "$low" -eq 0 ] &&
        [ "$high" -ge 2147483647 ]; then every_group=yes; fi ;;
esac
if [ "$every_group" = yes ]; then
  echo "ostrelin: ping sockets are allowed for every group ($range); no capability needed"
  exit 0
fi
if command -v setcap >/dev/null 2>&1 && setcap cap_net_raw+ep "$binary" 2>/dev/null; then
  echo "ostrelin: ping sockets are not allowed for every group (${range:-unknown}); gave $binary cap_net_raw"
  exit 0
fi
echo "ostrelin: ping sockets are not allowed for every group (${range:-unknown}) and cap_net_raw could not be set;" >&2
echo "ostrelin: run 'setcap cap_net_raw+ep $binary' as root, or widen net.ipv4.ping_group_range" >&2
exit 1
