# Drive a program in a detached tmux session and read its screen, for end-to-end tests.
# Source this file from bash; tmux_drive.sh is the command-line front end.
#
# Every session runs on a tmux server of its own (socket name = the session name), so
# tests never touch another tmux and `tmux_close` removes everything they started.
#
#   tmux_start NAME WIDTH HEIGHT COMMAND...  start COMMAND (run by sh -c when it is one
#                                 word with spaces, else as given) in a WIDTHxHEIGHT pane;
#                                 LANG=C.UTF-8 and TERM as tmux sets it. The pane stays
#                                 after its program ends (remain-on-exit), to be read.
#   tmux_keys NAME KEY...         send keys as tmux send-keys names them (C-c, Enter, ...)
#   tmux_text NAME TEXT           send TEXT literally
#   tmux_capture NAME [-e]        the visible screen, one line per row; -e keeps colours
#                                 and attributes as escape sequences
#   tmux_title NAME               the pane title (set by the program with OSC 0/2)
#   tmux_format NAME FORMAT       any tmux format of the pane, e.g. '#{alternate_on}'
#   tmux_pane_pid NAME            the pid of the pane's program
#   tmux_wait_text NAME TEXT [S]  wait up to S seconds (default 10) for TEXT on screen;
#                                 status 1 on time-out
#   tmux_wait_format NAME FORMAT VALUE [S]  wait until the format gives VALUE
#   tmux_wait_dead NAME [S]       wait until the pane's program has ended
#   tmux_kill_window NAME         close the window: its program gets SIGHUP, as when a
#                                 terminal window is closed
#   tmux_close NAME               end the session's server and everything in it

TMUX_POLL_SECONDS=0.1

_tmux() {
  local name="$1"
  shift
  tmux -L "$name" -f /dev/null "$@"
}

tmux_start() {
  local name="$1" width="$2" height="$3"
  shift 3
  _tmux "$name" -u new-session -d -s "$name" -x "$width" -y "$height" \
    -e LANG=C.UTF-8 -e LC_ALL=C.UTF-8 "$@" || return 1
  _tmux "$name" set-option -g remain-on-exit on >/dev/null
  _tmux "$name" set-option -g status off >/dev/null
  # Switching the status line off gives its row back to the pane.
  _tmux "$name" resize-window -t "$name" -x "$width" -y "$height" >/dev/null 2>&1 || true
}

tmux_keys() {
  local name="$1"
  shift
  _tmux "$name" send-keys -t "$name" "$@"
}

tmux_text() {
  _tmux "$1" send-keys -t "$1" -l "$2"
}

tmux_capture() {
  local name="$1"
  if [ "${2:-}" = -e ]; then
    _tmux "$name" capture-pane -t "$name" -p -e
  else
    _tmux "$name" capture-pane -t "$name" -p
  fi
}

tmux_format() {
  _tmux "$1" display-message -t "$1" -p "$2"
}

tmux_title() {
  tmux_format "$1" '#{pane_title}'
}

tmux_pane_pid() {
  tmux_format "$1" '#{pane_pid}'
}

_tmux_deadline() {
  echo $(($(date +%s%N) / 1000000 + ${1:-10} * 1000))
}

_tmux_now() {
  echo $(($(date +%s%N) / 1000000))
}

tmux_wait_text() {
  local name="$1" text="$2" deadline
  deadline=$(_tmux_deadline "${3:-10}")
  while [ "$(_tmux_now)" -lt "$deadline" ]; do
    if tmux_capture "$name" | grep -qF -- "$text"; then return 0; fi
    sleep "$TMUX_POLL_SECONDS"
  done
  return 1
}

tmux_wait_format() {
  local name="$1" format="$2" value="$3" deadline
  deadline=$(_tmux_deadline "${4:-10}")
  while [ "$(_tmux_now)" -lt "$deadline" ]; do
    if [ "$(tmux_format "$name" "$format" 2>/dev/null)" = "$value" ]; then return 0; fi
    sleep "$TMUX_POLL_SECONDS"
  done
  return 1
}

tmux_wait_dead() {
  tmux_wait_format "$1" '#{pane_dead}' 1 "${2:-10}"
}

tmux_kill_window() {
  _tmux "$1" kill-window -t "$1"
}

tmux_close() {
  _tmux "$1" kill-server 2>/dev/null || true
}
