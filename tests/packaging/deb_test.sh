#!/bin/bash
# The Debian package, on this machine: cpack builds it; its control fields, dependencies
# and file list are checked with dpkg-deb; `dpkg -i` installs it; the installed monitor
# runs end to end in tmux inside a private network namespace, as an unprivileged user,
# so that only the permission postinst gave (or the ping sockets that made it needless)
# can carry its probe; the permission decision is checked for both kinds of
# ping_group_range; `dpkg --purge` removes it and nothing may be left behind.
# Needs root and dpkg (CI runs it on a throwaway machine); exits 77 otherwise.
#   deb_test.sh SOURCE_DIR BUILD_DIR VERSION PROBE_TARGET
set -u
source_dir="$1"
build="$2"
version="$3"
target="$4"
. "$(dirname "${BASH_SOURCE[0]}")/package_lib.sh"

[ "$(id -u)" = 0 ] || { echo "needs root to install a package; skipping" >&2; exit 77; }
for tool in dpkg dpkg-deb cpack setpriv; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing; skipping" >&2; exit 77; }
done

work="$(mktemp -d /tmp/ostrelin-deb.XXXXXX)"
installed=no
cleanup() {
  [ "$installed" = yes ] && dpkg --purge ostrelin >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

# --- build
if ! (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out") >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack -G DEB" >&2
  exit 1
fi
arch="$(dpkg --print-architecture)"
deb="$work/out/ostrelin_${version}_${arch}.deb"
[ -f "$deb" ] || { echo "FAIL: no $deb; cpack made: $(ls "$work/out")" >&2; exit 1; }

# --- control fields
field() { dpkg-deb -f "$deb" "$1"; }
package_check "Package is ostrelin" test "$(field Package)" = ostrelin
package_check "Version is $version" test "$(field Version)" = "$version"
package_check "Architecture is $arch" test "$(field Architecture)" = "$arch"
package_check "Section and Priority are set" test -n "$(field Section)" -a -n "$(field Priority)"
package_check "Maintainer and Description are set" test -n "$(field Maintainer)" -a -n "$(field Description)"
depends="$(field Depends)"
echo "  Depends: $depends"
package_check "no development package among the dependencies" bash -c "! grep -q -- '-dev' <<<'$depends'"
# Every library the packaged programs load, found through the dynamic linker's cache,
# must belong to a declared package (what dpkg-shlibdeps would say, found another way).
dpkg-deb -x "$deb" "$work/root"
depends_on() {
  local names
  names="$(tr ',' '\n' <<<"$depends" | sed 's/(.*//; s/|.*//; s/ //g')"
  grep -qx -- "$1" <<<"$names"
}
for program in ostrelin ostrelin-sound-check; do
  for soname in $(objdump -p "$work/root/usr/bin/$program" | awk '$1 == "NEEDED" { print $2 }'); do
    path="$(ldconfig -p | awk -v so="$soname" '$1 == so && /x86-64/ { print $NF; exit }')"
    owner=""
    [ -n "$path" ] && owner="$(dpkg -S "$(realpath "$path")" 2>/dev/null | head -n 1 | cut -d: -f1)"
    [ -n "$owner" ] || owner="$(dpkg -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1)"
    package_check "$program needs $soname: its package '${owner:-?}' is declared" depends_on "$owner"
  done
done
package_check "postinst is in the package and executable" \
  bash -c "dpkg-deb --ctrl-tarfile '$deb' | tar -tv | grep -q -- '-rwxr-xr-x .*postinst$'"

# --- file list
expected=(/usr/bin/ostrelin /usr/bin/ostrelin-sound-check /usr/share/man/man1/ostrelin.1
          /usr/share/man/man1/ostrelin-sound-check.1 /usr/share/applications/ostrelin.desktop
          /usr/share/ostrelin/probe-permission.sh)
for size in $ICON_SIZES; do expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/ostrelin.png"); done
package_check "the package holds exactly the expected files" \
  diff <(printf '%s\n' "${expected[@]}" | sort) \
       <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sed 's|^\./|/|' | sort)

# --- install
if dpkg -s ostrelin >/dev/null 2>&1; then
  echo "  note: an ostrelin package was installed already; this test replaces and removes it"
fi
# Directories that exist before the install may belong to others and stay afterwards.
dirs_before="$work/dirs-before"
dpkg-deb -c "$deb" | awk '$1 ~ /^d/ { print $NF }' | sed 's|^\./|/|; s|/$||' | while read -r d; do
  [ -n "$d" ] && [ -d "$d" ] && echo "$d"
done >"$dirs_before"
if ! dpkg -i "$deb" >"$work/dpkg-i.log" 2>&1; then
  cat "$work/dpkg-i.log" >&2
  echo "FAIL: dpkg -i" >&2
  exit 1
fi
installed=yes
echo "  postinst said: $(grep 'ostrelin:' "$work/dpkg-i.log" | tr '\n' ' ')"
package_check "dpkg reports it installed" \
  bash -c "dpkg-query -W -f='\${Status}' ostrelin | grep -qx 'install ok installed'"
dpkg -L ostrelin >"$work/listed"
for file in "${expected[@]}"; do
  package_check "installed: $file" test -f "$file"
done

# --- the permission postinst chose, for the machine's ping_group_range as it is
range="$(tr -s ' \t' '  ' </proc/sys/net/ipv4/ping_group_range)"
caps="$(getcap /usr/bin/ostrelin 2>/dev/null)"
if [ "${range%% *}" = 0 ] && [ "${range##* }" -ge 2147483647 ]; then
  machine_allows=yes
  package_check "ping sockets allowed for every group ($range): no capability given" test -z "$caps"
else
  machine_allows=no
  package_check "ping sockets not allowed for every group ($range): cap_net_raw given" \
    bash -c "grep -q 'cap_net_raw[=+]ep' <<<'$caps'"
fi

# --- the other decisions, on a copy with a range file of the test's own
copy="$work/ostrelin-copy"
cp /usr/bin/ostrelin "$copy"
setcap -r "$copy" 2>/dev/null
decide() {  # RANGE_TEXT: prints the capability the script leaves on the copy
  printf '%s\n' "$1" >"$work/range"
  setcap -r "$copy" 2>/dev/null
  OSTRELIN_PING_GROUP_RANGE_FILE="$work/range" sh /usr/share/ostrelin/probe-permission.sh "$copy" >/dev/null 2>&1
  getcap "$copy" 2>/dev/null | grep -o 'cap_net_raw[=+]ep'
}
while IFS='|' read -r text wanted what; do
  package_check "range '$text': $what" test "$(decide "$text")" = "$wanted"
done <<'CASES'
0	2147483647||every group allowed: no capability
0 4294967294||a wider top still allows every group
1 0|cap_net_raw=ep|nobody allowed (the kernel's default): capability
0 0|cap_net_raw=ep|only group 0: capability
100 2147483647|cap_net_raw=ep|group 0 left out: capability
not a range|cap_net_raw=ep|unreadable text counts as not allowed
|cap_net_raw=ep|empty file counts as not allowed
CASES
package_check "the script refuses a path that is not a regular file" \
  bash -c "! sh /usr/share/ostrelin/probe-permission.sh '$work' 2>/dev/null"

# --- the installed monitor, end to end, as an unprivileged user, in a namespace whose
# ping_group_range is the machine's: only what postinst decided can carry the probe.
cat >"$work/ostrelin-as-nobody" <<RUN
#!/bin/sh
exec setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/ostrelin
RUN
chmod 755 "$work/ostrelin-as-nobody"
if [ "$machine_allows" = yes ]; then group_option=--ping-group; else group_option=--no-ping-group; fi
"$source_dir/tools/netns/netns_run.sh" --answer "$target" "$group_option" -- \
  "$source_dir/tests/e2e/monitor_tmux.sh" green_then_red "$work/ostrelin-as-nobody" "$target"
e2e_status=$?
if [ "$e2e_status" = 77 ]; then
  echo "  (network namespaces are not available: the end-to-end run was skipped)"
else
  package_check "the installed monitor shows green, then red, then green (status $e2e_status)" test "$e2e_status" = 0
fi

# --- removal leaves nothing behind
if ! dpkg -r ostrelin >"$work/dpkg-r.log" 2>&1 || ! dpkg --purge ostrelin >>"$work/dpkg-r.log" 2>&1; then
  cat "$work/dpkg-r.log" >&2
  package_fail "dpkg -r / --purge"
fi
installed=no
package_check "dpkg no longer knows the package" bash -c "! dpkg -s ostrelin >/dev/null 2>&1"
while read -r path; do
  [ "$path" = /. ] && continue
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    grep -qx -- "$path" "$dirs_before" || package_fail "directory left behind: $path"
  elif [ -e "$path" ] || [ -L "$path" ]; then
    package_fail "file left behind: $path"
  fi
done <"$work/listed"
package_check "no /usr/share/ostrelin left" test ! -e /usr/share/ostrelin
package_finish
