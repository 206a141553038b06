#!/bin/bash
# The real monitor with a real sound server: run through tools/pulse/with_pulse.sh and
# tools/netns/netns_run.sh --ignore TARGET, so that every probe goes unanswered.
# Usage: monitor_alarm_pulse.sh CASE OSTRELIN TARGET
#   alarm      the sink's recording holds the alarm clip once per failing pass, each
#              burst the clip's whole length
#   no_server  with no sound server to reach, the monitor runs on and shows its lines
set -u
case_name="$1"
ostrelin="$2"
target="$3"
E2E_NAME="ostr-sound-$case_name-$$"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../../e2e/e2e_lib.sh"
e2e_require_tmux
e2e_refuse_default_route
e2e_test_host "$target" --ignore
pulse_tool="$E2E_ROOT/tools/pulse/pulse_server.sh"

CLIP_FRAMES=60480   # 20160 frames at 16000 Hz, as the 48000 Hz sink records them
RUN_SECONDS=17      # about three passes of a 2000 ms wait and a 3000 ms pause

# Echo requests the ignoring host has received so far.
echo_requests() {
  ip netns exec "$host" cat /proc/net/snmp |
    awk '$1 == "IcmpMsg:" { if (!names) { for (i = 2; i <= NF; i++) name[i] = $i; names = 1 }
                           else for (i = 2; i <= NF; i++) if (name[i] == "InType8") print $i }' |
    tail -n 1 | sed 's/^$/0/'
}

# Lengths in frames of the bursts of sound in a raw s16le stereo recording: runs of the
# left channel above 300, split where it stays below for a tenth of a second.
bursts() {
  od -An -v -td2 -w4 "$1" | awk '
    { loud = ($1 > 300 || $1 < -300) }
    loud { if (!inside) { start = NR; inside = 1 } last = NR; quiet = 0; next }
    inside && ++quiet > 4800 { print last - start + 1; inside = 0 }
    END { if (inside) print last - start + 1 }'
}

case "$case_name" in
  alarm)
    [ -n "${OSTRELIN_PULSE_DIR:-}" ] || { echo "run me through tools/pulse/with_pulse.sh" >&2; exit 2; }
    recording="$E2E_TMP/recording.raw"
    "$pulse_tool" record "$OSTRELIN_PULSE_DIR" "$recording" || e2e_fail "parec did not start"
    before="$(echo_requests)"
    tmux_start "$E2E_NAME" 60 12 env PULSE_SERVER="$PULSE_SERVER" \
      PULSE_CLIENTCONFIG="$PULSE_CLIENTCONFIG" SDL_AUDIODRIVER=pulseaudio "$ostrelin"
    e2e_check "the alarm line appears" tmux_wait_text "$E2E_NAME" "Drellomar" 15
    sleep "$RUN_SECONDS"
    tmux_kill_window "$E2E_NAME"
    sleep 1
    "$pulse_tool" stop-record "$OSTRELIN_PULSE_DIR"
    probes=$(( $(echo_requests) - before ))
    mapfile -t lengths < <(bursts "$recording")
    echo "probes: $probes, bursts: ${lengths[*]:-none}"
    e2e_check "the monitor probed" test "$probes" -ge 2
    # The pass under way when the window closed may not have played yet, or be cut short.
    e2e_check "one burst per failing pass" \
      test "${#lengths[@]}" -ge $((probes - 1)) -a "${#lengths[@]}" -le "$probes"
    complete=$(( ${#lengths[@]} - 1 ))
    for ((i = 0; i < complete; i++)); do
      e2e_check "burst $i is the whole clip (${lengths[$i]} frames)" \
        test "${lengths[$i]}" -ge $((CLIP_FRAMES * 9 / 10)) -a "${lengths[$i]}" -le $((CLIP_FRAMES * 11 / 10))
    done
    ;;
  no_server)
    tmux_start "$E2E_NAME" 60 12 env PULSE_SERVER="unix:$E2E_TMP/nothing-here" \
      SDL_AUDIODRIVER=pulseaudio "$ostrelin"
    e2e_check "the alarm line appears" tmux_wait_text "$E2E_NAME" "Drellomar" 15
    before="$(echo_requests)"
    sleep 11
    e2e_check "the monitor runs on, pass after pass" test $(( $(echo_requests) - before )) -ge 2
    e2e_check "row 1 is the alarm line" e2e_equals "$(e2e_row 1)" "    (((((((( Drellomar )))))))"
    ;;
  *)
    echo "unknown case $case_name" >&2
    exit 2 ;;
esac
e2e_finish
