#!/bin/bash
# CPU used to stream a 3-minute 44.1 kHz stereo Ogg Vorbis file through the sound layer's
# refill thread, while ogg123 plays the same file to the same private PulseAudio null sink
# at the same time; ogg123's CPU for the same file is the baseline.
#   bench/sound/run_stream_cpu.sh [build-dir]
set -euo pipefail
root=$(dirname "$(realpath "$0")")/../..
build=$(realpath "${1:-$root/build-sound}")
work=$(mktemp -d /tmp/ostrelin-stream-cpu.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Three minutes of two drifting tones and some noise, encoded at oggenc's default quality.
sox -n -r 44100 -c 2 -b 16 "$work/music.wav" synth 180 sine 220-660 sine 330-990 \
  synth 180 pinknoise mix vol 0.5 2>/dev/null
oggenc -Q -o "$work/music.ogg" "$work/music.wav"
cat > "$work/measure.sh" <<'INNER'
#!/bin/bash
set -euo pipefail
player=$1 file=$2
export SDL_AUDIODRIVER=pulseaudio
/usr/bin/time -f "%U %S" -o "$file.ogg123.cpu" ogg123 -q -d pulse "$file" &
ogg=$!
"$player" "$file" > "$file.ours"
wait $ogg
INNER
chmod +x "$work/measure.sh"
"$root/tools/pulse/with_pulse.sh" "$work/measure.sh" "$build/bench/sound/sound_stream_player" \
  "$work/music.ogg"
ours=$(awk '/cpu_seconds/ {print $2}' "$work/music.ogg.ours")
theirs=$(awk '{print $1 + $2}' "$work/music.ogg.ogg123.cpu")
awk -v a="$ours" -v b="$theirs" 'BEGIN {
  printf "streaming 180 s of 44.1 kHz stereo: sound layer %.2f s CPU, ogg123 %.2f s CPU, ratio %.2f\n", a, b, a / b }'
