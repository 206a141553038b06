#!/bin/bash
# `cmake --install` into a fresh prefix: every file is there and usable - both programs,
# manual pages that render without warnings, a valid desktop entry, the icon in every
# hicolor size as a valid PNG, and the probe-permission script. Usage:
#   install_test.sh BUILD_DIR
set -u
build="$1"
. "$(dirname "${BASH_SOURCE[0]}")/package_lib.sh"
prefix="$(mktemp -d /tmp/ostrelin-install.XXXXXX)"
trap 'rm -rf "$prefix"' EXIT

if ! cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
  cat "$prefix.log" >&2
  rm -f "$prefix.log"
  echo "FAIL: cmake --install" >&2
  exit 1
fi
rm -f "$prefix.log"

expected=(bin/ostrelin bin/ostrelin-sound-check share/man/man1/ostrelin.1
          share/man/man1/ostrelin-sound-check.1 share/applications/ostrelin.desktop
          share/ostrelin/probe-permission.sh)
for size in $ICON_SIZES; do expected+=("share/icons/hicolor/${size}x${size}/apps/ostrelin.png"); done
package_check "exactly the expected files are installed" \
  diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)

for program in ostrelin ostrelin-sound-check; do
  package_check "$program is an executable" test -x "$prefix/bin/$program"
done
# The sound check is safe to run anywhere: its usage answer needs no device.
package_check "ostrelin-sound-check answers a stray argument with its usage (2)" \
  bash -c "'$prefix/bin/ostrelin-sound-check' --help 2>&1 | grep -q usage; [ \${PIPESTATUS[0]} -eq 2 ]"
for page in ostrelin ostrelin-sound-check; do
  package_check "man page $page(1) renders" man_page_renders "$prefix/share/man/man1/$page.1"
done
package_check "desktop entry is valid" desktop_entry_is_valid "$prefix/share/applications/ostrelin.desktop"
for size in $ICON_SIZES; do
  package_check "icon ${size}x${size} is a valid PNG" \
    png_is_valid "$prefix/share/icons/hicolor/${size}x${size}/apps/ostrelin.png" "$size"
done
package_check "probe-permission script is executable" test -x "$prefix/share/ostrelin/probe-permission.sh"
package_finish
