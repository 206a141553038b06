#!/bin/bash
# CPU of the audio output over SECONDS (default 30) with a sound loaded and nothing
# playing, against a private PulseAudio server with a null sink. The baseline, measured in
# the same run, is the same program with a silent sound looping, which keeps the output
# open. Reported for the program and for the sound server, as CPU seconds per wall second.
#   bench/audio/idle_cpu.sh [SECONDS] [BUILD_DIR]
set -euo pipefail
here=$(dirname "$(realpath "$0")")
root=$(realpath "$here/../..")
export SDL_AUDIODRIVER=pulseaudio

# Runs inside with_pulse.sh: one probe in one mode; prints "program_cpu server_cpu wall
# program_cpu_per_second_after_the_first_5_s".
if [ "${1:-}" = --measure ]; then
  probe=$2 mode=$3 seconds=$4
  pid=$(cat "$OSTRELIN_PULSE_DIR/server.pid")
  before=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  line=$("$probe" "$seconds" "$mode")
  after=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  cpu=${line#cpu_seconds=}; cpu=${cpu%% *}
  steady=${line#*steady_cpu_per_second=}; steady=${steady%% *}
  wall=${line##*wall_seconds=}
  awk -v c="$cpu" -v b="$before" -v a="$after" -v t="$(getconf CLK_TCK)" -v w="$wall" -v s="$steady" \
    'BEGIN { printf "%s %.4f %s %s\n", c, (a - b) / t, w, s }'
  exit 0
fi

seconds=${1:-30}
build=${2:-$root/build}

probes=("$build/bench/audio/audio_idle_probe")
[ -x "$build/bench/audio/sound_idle_probe" ] && probes+=("$build/bench/audio/sound_idle_probe")

for probe in "${probes[@]}"; do
  name=$(basename "$probe")
  read -r idle_cpu idle_server idle_wall idle_steady < <("$root/tools/pulse/with_pulse.sh" "$0" --measure "$probe" idle "$seconds")
  read -r open_cpu open_server open_wall open_steady < <("$root/tools/pulse/with_pulse.sh" "$0" --measure "$probe" open "$seconds")
  awk -v n="$name" -v s="$seconds" -v ic="$idle_cpu" -v is="$idle_server" -v iw="$idle_wall" \
      -v oc="$open_cpu" -v os="$open_server" -v ow="$open_wall" \
      -v ist="$idle_steady" -v ost="$open_steady" 'BEGIN {
    printf "%s over %d s:\n", n, s
    printf "  idle (nothing playing):   program %.5f CPU s/s, server %.5f CPU s/s\n", ic / iw, is / iw
    printf "  baseline (output open):   program %.5f CPU s/s, server %.5f CPU s/s\n", oc / ow, os / ow
    if (oc > 0) printf "  idle / baseline:          program %.3f, server %.3f\n", ic / oc, (os > 0 ? is / os : 0)
    printf "  after the first 5 s:      program idle %.6f CPU s/s, baseline %.6f CPU s/s\n", ist, ost
  }'
done
