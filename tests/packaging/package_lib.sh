# Shared checks of the packaging tests: failures are counted, not fatal, so one run shows
# everything that is wrong. Source from bash.

PACKAGE_FAILURES=0
ICON_SIZES="16 24 32 48 64 128 256"

package_fail() {
  echo "FAIL: $*" >&2
  PACKAGE_FAILURES=$((PACKAGE_FAILURES + 1))
}

package_check() {
  local what="$1"
  shift
  if "$@"; then echo "ok: $what"; else package_fail "$what"; fi
}

package_finish() {
  [ "$PACKAGE_FAILURES" -eq 0 ] || { echo "$PACKAGE_FAILURES check(s) failed" >&2; exit 1; }
  exit 0
}

# A manual page renders without a single groff or man warning, with its NAME section.
man_page_renders() {
  local page="$1" text errors
  errors="$(mktemp)"
  text="$(MANWIDTH=80 MAN_KEEP_FORMATTING=0 man --warnings=w -l "$page" 2>"$errors" | col -bx)"
  if [ -s "$errors" ]; then
    echo "  warnings from $page:" >&2
    cat "$errors" >&2
    rm -f "$errors"
    return 1
  fi
  rm -f "$errors"
  printf '%s\n' "$text" | grep -q '^NAME' && printf '%s\n' "$text" | grep -q "^ *$(basename "$page" .1) \+- "
}

# An 8-bit RGBA PNG of SIZE x SIZE whose chunks' checksums hold and whose image data
# inflates to exactly its rows (python3 for the inflating, where present).
png_is_valid() {
  local file="$1" size="$2" header
  header="$(od -A n -t x1 -j 0 -N 29 "$file" | tr -d ' \n')"
  local expected
  expected="89504e470d0a1a0a0000000d49484452$(printf '%08x%08x' "$size" "$size")0806"
  [ "${header:0:52}" = "$expected" ] || { echo "  $file: not a ${size}x${size} RGBA PNG" >&2; return 1; }
  command -v python3 >/dev/null 2>&1 || return 0
  python3 - "$file" "$size" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
size = int(sys.argv[2])
pos, idat, end = 8, b"", False
while pos < len(data):
    length, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    crc = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0]
    if crc != zlib.crc32(kind + body):
        sys.exit("bad checksum in chunk %r" % kind)
    if kind == b"IDAT":
        idat += body
    end = kind == b"IEND"
    pos += 12 + length
if not end:
    sys.exit("no IEND chunk")
if len(zlib.decompress(idat)) != size * (1 + size * 4):
    sys.exit("image data of the wrong length")
PY
}

# The desktop entry is valid (desktop-file-validate where installed) and starts the
# monitor in a terminal with our icon.
desktop_entry_is_valid() {
  local entry="$1"
  if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$entry" || return 1
  else
    echo "  (desktop-file-validate is not installed: checking the keys only)"
  fi
  grep -qx 'Type=Application' "$entry" && grep -qx 'Exec=ostrelin' "$entry" &&
    grep -qx 'Terminal=true' "$entry" && grep -qx 'Icon=ostrelin' "$entry"
}
