#!/bin/bash
# The real monitor in tmux, inside the private network namespace that netns_run.sh made,
# whose test host holds the probe target. Usage: monitor_tmux.sh CASE OSTRELIN TARGET
#   green_then_red  title, blank row 0, the green line on row 1; the host stops
#                   answering and the red line follows on a later pass
#   close_window    closing the window (SIGHUP) ends the monitor through its close path
#   ctrl_c          Ctrl+C ends it and the shell's screen, title and modes come back
#   redirected      with standard output redirected to a file, the file stays empty and
#                   the terminal is left alone
set -u
case_name="$1"
ostrelin="$2"
target="$3"
E2E_NAME="ostr-e2e-$case_name-$$"
. "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e2e_require_tmux
e2e_refuse_default_route
e2e_test_host "$target" --answer

WIDTH=60
HEIGHT=12

# The monitor started by this test's pane (other tests may run the same binary).
monitor_pid() {
  pgrep -P "$(tmux_pane_pid "$E2E_NAME")" -f -x "$ostrelin" | head -n 1
}

start_shell() {
  tmux_start "$E2E_NAME" "$WIDTH" "$HEIGHT" env PS1='shell$ ' bash --norc --noprofile -i
  tmux_wait_text "$E2E_NAME" 'shell$' || e2e_fail "the shell did not start"
}

case "$case_name" in
  green_then_red)
    tmux_start "$E2E_NAME" "$WIDTH" "$HEIGHT" "$ostrelin"
    e2e_check "the all-well line appears" tmux_wait_text "$E2E_NAME" "$ALL_WELL" 15
    e2e_check "title is Ostrelin" e2e_equals "$(tmux_title "$E2E_NAME")" "Ostrelin"
    e2e_check "alternate screen" e2e_equals "$(tmux_format "$E2E_NAME" '#{alternate_on}')" 1
    e2e_check "row 0 is blank" e2e_equals "$(e2e_row 0)" ""
    e2e_check "row 1 is the all-well line" e2e_equals "$(e2e_row 1)" "$ALL_WELL"
    e2e_check "bright green on black" e2e_equals "$(e2e_colours_at 1 "=:)")" "92 40"
    e2e_check "nothing below" e2e_equals "$(e2e_row 2)" ""
    "$NETNS_TOOLS/netns_host_echo.sh" "$host" ignore
    # The probe waits 2000 ms for an answer that does not come, after a 3000 ms pause.
    e2e_check "the alarm line follows" tmux_wait_text "$E2E_NAME" "Drellomar" 20
    e2e_check "row 0 is still blank" e2e_equals "$(e2e_row 0)" ""
    e2e_check "row 1 is the alarm line" e2e_equals "$(e2e_row 1)" "$ALARM"
    e2e_check "bright red on black" e2e_equals "$(e2e_colours_at 1 "((((")" "91 40"
    "$NETNS_TOOLS/netns_host_echo.sh" "$host" answer
    e2e_check "all-well again once the host answers" tmux_wait_text "$E2E_NAME" "$ALL_WELL" 20
    ;;
  close_window)
    status_file="$E2E_TMP/status"
    # The pane's shell passes the hang-up on to the monitor, as a login shell does with
    # its jobs, and records how the monitor ended.
    tmux_start "$E2E_NAME" "$WIDTH" "$HEIGHT" bash -c \
      'trap "kill -HUP \$child" HUP; "$0" & child=$!; wait $child; wait $child; echo $? > "$1"' \
      "$ostrelin" "$status_file"
    e2e_check "the all-well line appears" tmux_wait_text "$E2E_NAME" "$ALL_WELL" 15
    pid="$(monitor_pid)"
    e2e_check "the monitor runs" test -n "$pid"
    tmux_kill_window "$E2E_NAME"
    for _ in $(seq 100); do [ -s "$status_file" ] && break; sleep 0.1; done
    e2e_check "the monitor ended by the hang-up signal (129)" e2e_equals "$(cat "$status_file" 2>/dev/null)" 129
    e2e_check "the process is gone" bash -c "! kill -0 ${pid:-0} 2>/dev/null"
    ;;
  ctrl_c)
    start_shell
    title_before="$(tmux_title "$E2E_NAME")"
    tmux_text "$E2E_NAME" "printf 'before the monitor\\n'; $ostrelin"
    tmux_keys "$E2E_NAME" Enter
    e2e_check "the all-well line appears" tmux_wait_text "$E2E_NAME" "$ALL_WELL" 15
    e2e_check "title is Ostrelin" e2e_equals "$(tmux_title "$E2E_NAME")" "Ostrelin"
    tmux_keys "$E2E_NAME" C-c
    # The shell drops the rest of a command line whose program Ctrl+C ended: ask apart.
    tmux_wait_format "$E2E_NAME" '#{alternate_on}' 0 10
    tmux_text "$E2E_NAME" 'echo status=$?'
    tmux_keys "$E2E_NAME" Enter
    e2e_check "the monitor ended by Ctrl+C (130)" tmux_wait_text "$E2E_NAME" "status=130" 10
    e2e_check "the shell's screen is back" tmux_wait_text "$E2E_NAME" "before the monitor" 2
    e2e_check "normal screen" e2e_equals "$(tmux_format "$E2E_NAME" '#{alternate_on}')" 0
    e2e_check "cursor shown" e2e_equals "$(tmux_format "$E2E_NAME" '#{cursor_flag}')" 1
    e2e_check "title restored" e2e_equals "$(tmux_title "$E2E_NAME")" "$title_before"
    tmux_text "$E2E_NAME" 'echo "modes: $(stty -a | tr " " "\n" | grep -x -- "-*echo")"'
    tmux_keys "$E2E_NAME" Enter
    e2e_check "echo is on again" tmux_wait_text "$E2E_NAME" "modes: echo" 5
    ;;
  redirected)
    start_shell
    title_before="$(tmux_title "$E2E_NAME")"
    out="$E2E_TMP/out"
    tmux_text "$E2E_NAME" "$ostrelin > $out"
    tmux_keys "$E2E_NAME" Enter
    # Give it passes to run: each one here is an answered probe and a 3000 ms pause.
    for _ in $(seq 70); do [ -n "$(monitor_pid)" ] && break; sleep 0.1; done
    pid="$(monitor_pid)"
    e2e_check "the monitor runs" test -n "$pid"
    sleep 7
    e2e_check "the monitor still runs" kill -0 "${pid:-0}"
    e2e_check "the file stays empty" e2e_equals "$(stat -c %s "$out")" 0
    e2e_check "normal screen" e2e_equals "$(tmux_format "$E2E_NAME" '#{alternate_on}')" 0
    e2e_check "title untouched" e2e_equals "$(tmux_title "$E2E_NAME")" "$title_before"
    e2e_check "nothing drawn on the terminal" bash -c "! tmux -L '$E2E_NAME' capture-pane -t '$E2E_NAME' -p | grep -q '=:)'"
    tmux_keys "$E2E_NAME" C-c
    tmux_wait_text "$E2E_NAME" 'shell$ ' 5
    tmux_text "$E2E_NAME" 'echo status=$?'
    tmux_keys "$E2E_NAME" Enter
    e2e_check "Ctrl+C ends it" tmux_wait_text "$E2E_NAME" "status=130" 10
    e2e_check "the file is still empty" e2e_equals "$(stat -c %s "$out")" 0
    ;;
  *)
    echo "unknown case $case_name" >&2
    exit 2 ;;
esac
e2e_finish
