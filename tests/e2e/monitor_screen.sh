#!/bin/bash
# The real monitor inside GNU screen, itself in a tmux pane that stands for the user's
# terminal, inside the private network namespace that netns_run.sh made (its test host
# holds the probe target). What the outer terminal shows is what the user sees.
# Usage: monitor_screen.sh CASE OSTRELIN TARGET
#   altscreen     screen with `altscreen on`: green, red, and after Ctrl+C the shell's
#                 screen comes back as it was
#   no_altscreen  screen as it comes (no alternate screen, as on a Linux virtual
#                 console): the same lines and colours; after Ctrl+C the shell prompt
#                 follows in the terminal's own colours and works, nothing garbled
set -u
case_name="$1"
ostrelin="$2"
target="$3"
E2E_NAME="ostr-screen-$case_name-$$"
. "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e2e_require_tmux
command -v screen >/dev/null 2>&1 || { echo "GNU screen is missing; skipping" >&2; exit 77; }
e2e_refuse_default_route
e2e_test_host "$target" --answer

session="$E2E_NAME-s"
screen_cleanup() {
  screen -S "$session" -X quit >/dev/null 2>&1
  e2e_cleanup
}
trap screen_cleanup EXIT

rc="$E2E_TMP/screenrc"
{
  echo "startup_message off"
  [ "$case_name" = altscreen ] && echo "altscreen on"
} >"$rc"
# screen reads /etc/screenrc too: keep the user's site settings, as a user would have them.
tmux_start "$E2E_NAME" 80 24 env SCREENDIR="$E2E_TMP/screens" \
  screen -c "$rc" -S "$session" env PS1='shell$ ' bash --norc --noprofile -i
mkdir -p "$E2E_TMP/screens" && chmod 700 "$E2E_TMP/screens"
e2e_check "the shell in screen starts" tmux_wait_text "$E2E_NAME" 'shell$' 10
tmux_text "$E2E_NAME" "printf 'before the monitor\\n'; $ostrelin"
tmux_keys "$E2E_NAME" Enter
e2e_check "the all-well line appears" tmux_wait_text "$E2E_NAME" "$ALL_WELL" 15
e2e_check "row 0 is blank" e2e_equals "$(e2e_row 0)" ""
e2e_check "row 1 is the all-well line" e2e_equals "$(e2e_row 1)" "$ALL_WELL"
e2e_check "bright green on black" e2e_equals "$(e2e_colours_at 1 "=:)")" "92 40"
e2e_check "nothing below" e2e_equals "$(tmux_capture "$E2E_NAME" | sed -n '3,$p' | tr -d ' \n')" ""
e2e_check "the terminal's title is Ostrelin" e2e_equals "$(tmux_title "$E2E_NAME")" "Ostrelin"
"$NETNS_TOOLS/netns_host_echo.sh" "$host" ignore
e2e_check "the alarm line follows" tmux_wait_text "$E2E_NAME" "Drellomar" 20
e2e_check "row 0 is still blank" e2e_equals "$(e2e_row 0)" ""
e2e_check "row 1 is the alarm line" e2e_equals "$(e2e_row 1)" "$ALARM"
e2e_check "bright red on black" e2e_equals "$(e2e_colours_at 1 "((((")" "91 40"
e2e_check "nothing below" e2e_equals "$(tmux_capture "$E2E_NAME" | sed -n '3,$p' | tr -d ' \n')" ""

tmux_keys "$E2E_NAME" C-c
# Keys typed before the monitor has ended would be dropped with it: wait for the end
# (the shell's own screen back, or without an alternate screen the new prompt).
if [ "$case_name" = altscreen ]; then shown_after="before the monitor"; else shown_after='shell$'; fi
e2e_check "Ctrl+C ends it" tmux_wait_text "$E2E_NAME" "$shown_after" 10
tmux_text "$E2E_NAME" 'echo "status=$? modes=$(stty -a | tr " " "\n" | grep -x -- "-*echo")"'
tmux_keys "$E2E_NAME" Enter
e2e_check "status 130, and echo is on again" tmux_wait_text "$E2E_NAME" "status=130 modes=echo" 10
if [ "$case_name" = altscreen ]; then
  e2e_check "the shell's screen is back" tmux_wait_text "$E2E_NAME" "before the monitor" 1
  e2e_check "the monitor's lines are gone" bash -c "! tmux -L '$E2E_NAME' capture-pane -t '$E2E_NAME' -p | grep -qF '=:)'"
else
  # Without an alternate screen the last status line stays above the prompt, as on a
  # virtual console; what follows must be in the terminal's own colours.
  e2e_check "the prompt is in the terminal's own colours" \
    e2e_equals "$(e2e_colours_at "$(tmux_capture "$E2E_NAME" | grep -n 'status=130' | head -n 1 | cut -d: -f1 | awk '{ print $1 - 1 }')" "status=130")" "default default"
fi
e2e_finish
