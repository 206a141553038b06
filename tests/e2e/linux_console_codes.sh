#!/bin/bash
# What the monitor writes to a terminal with TERM=linux, byte for byte, checked against
# what the Linux virtual console understands: run under script(1) on a pty of 80x25 (the
# console's size) inside the private network namespace that netns_run.sh made, through
# one answered and one unanswered pass and Ctrl+C's restore. Every escape sequence must be
# one the console acts on (cursor position, SGR 0/30-37/40-47/90-97, cursor shown or
# hidden, autowrap) or one it skips without showing anything (the alternate screen
# 1049, the title as OSC ... BEL, the title stack CSI 22/23 t); every other byte must be
# printable ASCII, CR or LF. Usage: linux_console_codes.sh OSTRELIN TARGET
set -u
ostrelin="$1"
target="$2"
for tool in script python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing; skipping" >&2; exit 77; }
done
if [ -n "$(ip -4 route show default 2>/dev/null)" ] || [ -n "$(ip -6 route show default 2>/dev/null)" ]; then
  echo "this network namespace has a default route; refusing to start" >&2
  exit 3
fi
host_variable="NETNS_HOST_${target//./_}"
host="${!host_variable:-}"
[ -n "$host" ] || { echo "run me through tools/netns/netns_run.sh --answer $target" >&2; exit 2; }
work="$(mktemp -d /tmp/ostrelin-linux-codes.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# script runs the monitor on a pty of its own; its output is recorded to the file.
TERM=linux script -q -f -e -O "$work/out" -c "stty cols 80 rows 25; exec $ostrelin" </dev/null >/dev/null 2>&1 &
script_pid=$!
wait_for() {
  for _ in $(seq 200); do grep -qF -- "$1" "$work/out" 2>/dev/null && return 0; sleep 0.1; done
  return 1
}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
wait_for "=:)" || fail "no all-well line"
"$NETNS_TOOLS/netns_host_echo.sh" "$host" ignore
wait_for "Drellomar" || fail "no alarm line"
monitor="$(pgrep -P "$script_pid" | head -n 1)"
[ -n "$monitor" ] && kill -INT "$monitor"
wait "$script_pid"
sleep 0.2

python3 - "$work/out" <<'PY' || failures=$((failures + 1))
import re, sys
data = open(sys.argv[1], "rb").read()
# script(1) frames the recording with lines of its own: keep what the program wrote.
start = data.find(b"\n") + 1 if data.startswith(b"Script started") else 0
end = data.rfind(b"\nScript done")
data = data[start:end if end >= 0 else len(data)]
acted = [
    rb"\x1b\[[0-9]*;[0-9]*H",                 # cursor position
    rb"\x1b\[\?(25|7)[hl]",                   # cursor shown/hidden, autowrap
]
skipped = [
    rb"\x1b\[\?1049[hl]",                     # alternate screen: an unknown mode, ignored
    rb"\x1b\][0-9];[\x20-\x7e]*\x07",         # title: swallowed up to BEL
    rb"\x1b\[2[23];0t",                       # title stack: an unknown final byte, ignored
]
sgr = re.compile(rb"\x1b\[([0-9;]*)m")
patterns = [re.compile(p) for p in acted + skipped]
pos, bad, seen = 0, [], set()
while pos < len(data):
    b = data[pos]
    if b == 0x1b:
        m = sgr.match(data, pos)
        if m:
            for p in (m.group(1) or b"0").split(b";"):
                v = int(p or b"0")
                if not (v == 0 or 30 <= v <= 37 or 40 <= v <= 47 or 90 <= v <= 97):
                    bad.append(m.group(0))
            seen.add(b"SGR " + m.group(1))
            pos = m.end()
            continue
        for p in patterns:
            m = p.match(data, pos)
            if m:
                seen.add(re.sub(rb"[0-9]+;[0-9]+H", b"n;mH", m.group(0)))
                pos = m.end()
                break
        else:
            bad.append(data[pos:pos + 12])
            pos += 1
        continue
    if not (0x20 <= b < 0x7f or b in (0x0a, 0x0d)):
        bad.append(bytes([b]))
    pos += 1
print("sequences written:", b" ".join(sorted(s.replace(b"\x1b", b"ESC").replace(b"\x07", b"BEL") for s in seen)).decode())
if bad:
    print("FAIL: not understood by the Linux console:", bad[:10], file=sys.stderr)
    sys.exit(1)
if b"SGR 0;92;40" not in seen or b"SGR 0;91;40" not in seen:
    print("FAIL: the status colours were not written as expected", file=sys.stderr)
    sys.exit(1)
print("ok: every sequence is one the Linux console acts on or skips")
PY
[ "$failures" -eq 0 ] || exit 1
