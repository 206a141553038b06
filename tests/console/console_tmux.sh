#!/bin/bash
# The console layer in a real terminal (tmux), through a small program that draws like
# the monitor without touching the network. Usage: console_tmux.sh CASE DRIVER
#   stop_continue  Ctrl+Z gives the shell its screen and title back; fg draws again
#   resize         a wider terminal gives a wider buffer (SIGWINCH)
#   close_window   the close handler runs, then the program ends by the hang-up signal
set -u
case_name="$1"
driver="$2"
E2E_NAME="ostr-console-$case_name-$$"
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/e2e_lib.sh"
e2e_require_tmux

start_shell() {
  tmux_start "$E2E_NAME" "$1" "$2" env PS1='shell$ ' bash --norc --noprofile -i
  tmux_wait_text "$E2E_NAME" 'shell$' || e2e_fail "the shell did not start"
}

case "$case_name" in
  stop_continue)
    start_shell 60 12
    title_before="$(tmux_title "$E2E_NAME")"
    tmux_text "$E2E_NAME" "printf 'shell text\\n'; $driver surface"
    tmux_keys "$E2E_NAME" Enter
    e2e_check "the driver draws" tmux_wait_text "$E2E_NAME" "pass" 10
    e2e_check "its title" e2e_equals "$(tmux_title "$E2E_NAME")" "Driver"
    tmux_keys "$E2E_NAME" C-z
    e2e_check "stopped" tmux_wait_text "$E2E_NAME" "Stopped" 10
    e2e_check "the shell's screen is back" tmux_wait_text "$E2E_NAME" "shell text" 2
    e2e_check "normal screen" e2e_equals "$(tmux_format "$E2E_NAME" '#{alternate_on}')" 0
    e2e_check "title restored" e2e_equals "$(tmux_title "$E2E_NAME")" "$title_before"
    e2e_check "cursor shown" e2e_equals "$(tmux_format "$E2E_NAME" '#{cursor_flag}')" 1
    tmux_text "$E2E_NAME" "fg"
    tmux_keys "$E2E_NAME" Enter
    e2e_check "alternate screen again" tmux_wait_format "$E2E_NAME" '#{alternate_on}' 1 10
    e2e_check "drawn again" tmux_wait_text "$E2E_NAME" "pass" 10
    e2e_check "title again" e2e_equals "$(tmux_title "$E2E_NAME")" "Driver"
    e2e_check "row 0 blank" e2e_equals "$(e2e_row 0)" ""
    tmux_keys "$E2E_NAME" C-c
    e2e_check "Ctrl+C ends it" tmux_wait_format "$E2E_NAME" '#{alternate_on}' 0 10
    e2e_check "title restored at the end" e2e_equals "$(tmux_title "$E2E_NAME")" "$title_before"
    ;;
  resize)
    tmux_start "$E2E_NAME" 50 10 "$driver" surface
    e2e_check "the driver draws" tmux_wait_text "$E2E_NAME" "pass" 10
    e2e_check "ruler as wide as the terminal" e2e_equals "$(e2e_row 2 | wc -c)" 51
    tmux -L "$E2E_NAME" -f /dev/null resize-window -t "$E2E_NAME" -x 70 -y 10
    e2e_check "the terminal is wider" tmux_wait_format "$E2E_NAME" '#{pane_width}' 70 5
    # The next pass prints into the wider buffer.
    for _ in $(seq 50); do [ "$(e2e_row 2 | wc -c)" = 71 ] && break; sleep 0.1; done
    e2e_check "ruler follows the new width" e2e_equals "$(e2e_row 2 | wc -c)" 71
    ;;
  close_window)
    notes="$E2E_TMP/stderr"
    status_file="$E2E_TMP/status"
    tmux_start "$E2E_NAME" 60 12 bash -c \
      'trap "kill -HUP \$child" HUP; "$0" surface 2>"$1" & child=$!; wait $child; wait $child; echo $? > "$2"' \
      "$driver" "$notes" "$status_file"
    e2e_check "the driver draws" tmux_wait_text "$E2E_NAME" "pass" 10
    tmux_kill_window "$E2E_NAME"
    for _ in $(seq 100); do [ -s "$status_file" ] && break; sleep 0.1; done
    e2e_check "ended by the hang-up signal (129)" e2e_equals "$(cat "$status_file" 2>/dev/null)" 129
    e2e_check "the close handler ran first" grep -q "close handler ran" "$notes"
    ;;
  *)
    echo "unknown case $case_name" >&2
    exit 2 ;;
esac
e2e_finish
