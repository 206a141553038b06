#!/bin/bash
# ostrelin-sound-check through the real audio path: beside a private PulseAudio server
# with a null sink it opens the device, the sink's recording holds the clip (about 1.26 s
# of sound), and it says so; pointed at a server that does not exist it says no device
# was opened and exits 1. Usage: sound_check_pulse.sh SOURCE_DIR SOUND_CHECK
set -u
source_dir="$1"
sound_check="$2"
. "$(dirname "${BASH_SOURCE[0]}")/package_lib.sh"
for tool in pulseaudio parec sox; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing; skipping" >&2; exit 77; }
done
work="$(mktemp -d /tmp/ostrelin-sound-check.XXXXXX)"
trap 'rm -rf "$work"' EXIT

export SOUND_CHECK="$sound_check" WORK="$work" PULSE_TOOLS="$source_dir/tools/pulse"
"$source_dir/tools/pulse/with_pulse.sh" bash -c '
  "$PULSE_TOOLS/pulse_server.sh" record "$OSTRELIN_PULSE_DIR" "$WORK/rec.raw"
  sleep 0.5
  "$SOUND_CHECK" >"$WORK/out" 2>"$WORK/err"; echo $? >"$WORK/status"
  sleep 0.3
  "$PULSE_TOOLS/pulse_server.sh" stop-record "$OSTRELIN_PULSE_DIR"'
package_check "with a sound server it exits 0" test "$(cat "$work/status")" = 0
package_check "it says the device was opened" grep -q "^Audio device opened" "$work/out"
# The length of what the sink received, leading and trailing silence cut off.
sound_length="$(sox -t raw -r 48000 -e signed -b 16 -c 2 "$work/rec.raw" -n \
  silence 1 0.005 1% reverse silence 1 0.005 1% reverse stat 2>&1 | awk '/^Length/ { print $3 }')"
echo "  sound recorded: ${sound_length:-none} s"
package_check "the sink received the clip once (1.26 s)" \
  awk -v s="${sound_length:-0}" 'BEGIN { exit !(s > 1.1 && s < 1.4) }'

SDL_AUDIODRIVER=pulseaudio PULSE_SERVER="unix:$work/no-such-server" "$sound_check" >"$work/out" 2>/dev/null
status=$?
package_check "without a sound server it exits 1" test "$status" = 1
package_check "it says no device could be opened" grep -q "^No audio device could be opened" "$work/out"
package_finish
