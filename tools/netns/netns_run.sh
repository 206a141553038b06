#!/bin/bash
# Runs a command inside a fresh private network namespace with test hosts, and removes
# everything again when it ends. Refuses to start where the namespace has a default route,
# so nothing the command sends can leave the machine.
#
# Usage: netns_run.sh [options] [--] command [args...]
#   --answer ADDR     a test host holds ADDR and answers echo requests
#   --ignore ADDR     a test host holds ADDR and ignores echo requests
#   --vanish ADDR     ADDR sits behind a link whose neighbour never answers: the kernel
#                     reports the host unreachable after about 300 ms
#   --no-route ADDR   ADDR has no route at all (checked)
#   --routed ADDR     an answering host holds ADDR behind a router (two hops away)
#   --router-no-route ADDR  ADDR is routed to a router that has no route for it and
#                     answers with ICMP network unreachable
#   --ping-group      every group may open unprivileged ICMP datagram sockets here
#   --no-ping-group   nobody may (the default), so root falls back to raw ICMP sockets
#   --set NAME=VALUE  also export NAME=VALUE to the command
#   Options may repeat. Test addresses must lie outside 10.77.0.0/16 (the links).
#
# The command sees:
#   NETNS_PROBE                the namespace it runs in
#   NETNS_HOST_<a_b_c_d>       the namespace of the host for a.b.c.d (answer, ignore,
#                              vanish, routed), e.g. to switch it with netns_host_echo.sh
#   NETNS_ROUTER_<a_b_c_d>     the router's namespace (routed, router-no-route)
#   NETNS_TOOLS                this folder
#   NETNS_PING_GROUP           on or off
#   NETNS_OUTER                "device:inode" of the namespace netns_run.sh started in,
#                              so that the command can check it is not still there
#
# Exit status: the command's; 77 when not root or namespaces are unavailable (a test
# harness may count that as skipped); 2 for bad usage; 3 when a default route is found;
# 4 when the namespace could not be set up.
#
# Example: netns_run.sh --answer 9.9.9.9 --ping-group -- build/app/ostrelin
set -u

NETNS_TOOLS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$NETNS_TOOLS/netns_lib.sh"

hosts=()
ping_group=off
extra_env=()
while [ $# -gt 0 ]; do
  case "$1" in
    --answer|--ignore|--vanish|--no-route|--routed|--router-no-route)
      [ $# -ge 2 ] || { echo "netns_run: $1 needs an address" >&2; exit 2; }
      hosts+=("${1#--}" "$2"); shift 2 ;;
    --ping-group) ping_group=on; shift ;;
    --no-ping-group) ping_group=off; shift ;;
    --set)
      [ $# -ge 2 ] || { echo "netns_run: --set needs NAME=VALUE" >&2; exit 2; }
      extra_env+=("$2"); shift 2 ;;
    --) shift; break ;;
    -*) echo "netns_run: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: netns_run.sh [options] [--] command [args...]" >&2; exit 2; }

netns_require
trap netns_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

netns_new || exit 4
probe="$NETNS_LAST"
host_env=()
for ((k = 0; k < ${#hosts[@]}; k += 2)); do
  kind="${hosts[k]}" addr="${hosts[k + 1]}"
  netns_add_host "$probe" "$kind" "$addr" || { echo "netns_run: cannot add $kind host $addr" >&2; exit 4; }
  if [ -n "$NETNS_HOST_LAST" ]; then
    netns_refuse_default_route "$NETNS_HOST_LAST"
    host_env+=("NETNS_HOST_${addr//./_}=$NETNS_HOST_LAST")
  fi
  if [ -n "$NETNS_ROUTER_LAST" ]; then
    netns_refuse_default_route "$NETNS_ROUTER_LAST"
    host_env+=("NETNS_ROUTER_${addr//./_}=$NETNS_ROUTER_LAST")
  fi
done
netns_ping_group "$probe" "$ping_group" || exit 4
netns_refuse_default_route "$probe"

outer="$(stat -L -c '%d:%i' /proc/self/ns/net)" || exit 4
# Not exec: the traps must still remove the namespaces afterwards.
ip netns exec "$probe" env NETNS_PROBE="$probe" NETNS_TOOLS="$NETNS_TOOLS" NETNS_OUTER="$outer" \
  NETNS_PING_GROUP="$ping_group" "${host_env[@]}" "${extra_env[@]}" "$@"
status=$?
exit "$status"
