#!/bin/bash
# The real monitor in the terminal sizes people use and in a terminal resized while it
# runs, inside the private network namespace that netns_run.sh made (its test host holds
# the probe target). Every check reads the whole screen: row 0 blank, the status line on
# row 1 in its colours, clipped to the width, and nothing anywhere else.
# Usage: terminals_tmux.sh CASE OSTRELIN TARGET
#   size_80x24   the classic terminal: green, then red when the host stops answering
#   size_20x5    a tiny one: the alarm line is cut at the right edge, nothing wraps
#   resize       shrunk from 60x12 to 20x5, then grown to 80x24, while it runs: after the
#                next pass the screen holds exactly the blank row and the status line
set -u
case_name="$1"
ostrelin="$2"
target="$3"
E2E_NAME="ostr-term-$case_name-$$"
. "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e2e_require_tmux
e2e_refuse_default_route
e2e_test_host "$target" --answer

# The screen is WIDTH x HEIGHT, blank but for LINE (cut to WIDTH) on row 1 in COLOURS.
screen_shows() {
  local width="$1" height="$2" line="$3" colours="$4" capture expected y
  capture="$(tmux_capture "$E2E_NAME")"
  expected="$(printf '\n%s' "${line:0:$width}"; for ((y = 2; y < height; y++)); do printf '\n'; done)"
  [ "$(tmux_format "$E2E_NAME" '#{pane_width}x#{pane_height}')" = "${width}x${height}" ] ||
    { echo "  the pane is $(tmux_format "$E2E_NAME" '#{pane_width}x#{pane_height}')" >&2; return 1; }
  if [ "$(printf '%s\n' "$capture" | sed 's/ *$//')" != "$expected" ]; then
    echo "  screen:" >&2
    printf '%s\n' "$capture" | sed 's/^/  |/' >&2
    return 1
  fi
  local text="${line#    }"
  e2e_equals "$(e2e_colours_at 1 "${text:0:3}")" "$colours"
}

# Waits for TEXT, then for the pass after the one that drew it, so that a pass that was
# under way while the screen changed size does not count. Only for the alarm line: its
# pass leaves the screen blank for the probe's 2 s time-out, long enough to be seen.
wait_for_pass_with() {
  local text="$1"
  tmux_wait_text "$E2E_NAME" "$text" 20 || return 1
  # A pass starts with a clear: the screen goes blank until the probe returns.
  local deadline=$(( $(date +%s) + 20 ))
  while tmux_capture "$E2E_NAME" | grep -qF -- "$text"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.05
  done
  tmux_wait_text "$E2E_NAME" "$text" 20
}

resize() {
  tmux -L "$E2E_NAME" -f /dev/null resize-window -t "$E2E_NAME" -x "$1" -y "$2"
  tmux_wait_format "$E2E_NAME" '#{pane_width}x#{pane_height}' "$1x$2" 5
}

case "$case_name" in
  size_80x24)
    tmux_start "$E2E_NAME" 80 24 "$ostrelin"
    e2e_check "the all-well line appears" tmux_wait_text "$E2E_NAME" "$ALL_WELL" 15
    e2e_check "80x24: only the green line on row 1" screen_shows 80 24 "$ALL_WELL" "92 40"
    "$NETNS_TOOLS/netns_host_echo.sh" "$host" ignore
    e2e_check "the alarm line follows" tmux_wait_text "$E2E_NAME" "Drellomar" 20
    e2e_check "80x24: only the red line on row 1" screen_shows 80 24 "$ALARM" "91 40"
    ;;
  size_20x5)
    tmux_start "$E2E_NAME" 20 5 "$ostrelin"
    e2e_check "the all-well line appears" tmux_wait_text "$E2E_NAME" "$ALL_WELL" 15
    e2e_check "20x5: only the green line on row 1" screen_shows 20 5 "$ALL_WELL" "92 40"
    "$NETNS_TOOLS/netns_host_echo.sh" "$host" ignore
    e2e_check "the cut alarm line follows" tmux_wait_text "$E2E_NAME" "${ALARM:0:20}" 20
    e2e_check "20x5: the red line cut at the edge, nothing wrapped" screen_shows 20 5 "$ALARM" "91 40"
    wait_for_pass_with "${ALARM:0:20}"
    e2e_check "20x5: the same after another pass" screen_shows 20 5 "$ALARM" "91 40"
    ;;
  resize)
    tmux_start "$E2E_NAME" 60 12 "$ostrelin"
    e2e_check "the all-well line appears" tmux_wait_text "$E2E_NAME" "$ALL_WELL" 15
    "$NETNS_TOOLS/netns_host_echo.sh" "$host" ignore
    e2e_check "the alarm line follows at 60x12" tmux_wait_text "$E2E_NAME" "Drellomar" 20
    e2e_check "shrunk to 20x5" resize 20 5
    e2e_check "a pass after the shrink" wait_for_pass_with "${ALARM:0:20}"
    e2e_check "20x5: the red line cut at the edge, nothing else" screen_shows 20 5 "$ALARM" "91 40"
    e2e_check "grown to 80x24" resize 80 24
    "$NETNS_TOOLS/netns_host_echo.sh" "$host" answer
    e2e_check "the all-well line after the growth" tmux_wait_text "$E2E_NAME" "$ALL_WELL" 20
    e2e_check "80x24: only the green line, nothing left of the red one" screen_shows 80 24 "$ALL_WELL" "92 40"
    e2e_check "shrunk to 40x3" resize 40 3
    # Answered passes blank the screen too briefly to be seen: a change of state marks
    # the first pass drawn at the new size.
    "$NETNS_TOOLS/netns_host_echo.sh" "$host" ignore
    e2e_check "the alarm line after the shrink" tmux_wait_text "$E2E_NAME" "Drellomar" 20
    e2e_check "40x3: only the red line" screen_shows 40 3 "$ALARM" "91 40"
    tmux_keys "$E2E_NAME" C-c
    e2e_check "Ctrl+C still ends it" tmux_wait_dead "$E2E_NAME" 10
    ;;
  *)
    echo "unknown case $case_name" >&2
    exit 2 ;;
esac
e2e_finish
