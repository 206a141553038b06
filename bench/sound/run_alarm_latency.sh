#!/bin/bash
# Alarm latency through the real device into a private PulseAudio null sink: median of
# 20 plays of the clip with sound_play, against the audio layer's own buffer Play.
#   bench/sound/run_alarm_latency.sh [build-dir]
set -euo pipefail
root=$(dirname "$(realpath "$0")")/../..
build=$(realpath "${1:-$root/build-sound}")
export SDL_AUDIODRIVER=pulseaudio
exec "$root/tools/pulse/with_pulse.sh" "$build/bench/sound/sound_alarm_latency"
