#!/bin/bash
# Command-line front end of tmux_lib.sh: tmux_drive.sh COMMAND NAME [ARGS...]
#   start NAME WIDTH HEIGHT COMMAND...   keys NAME KEY...        text NAME TEXT
#   capture NAME [-e]                    title NAME              format NAME FORMAT
#   pane_pid NAME                        wait_text NAME TEXT [S] wait_format NAME FORMAT VALUE [S]
#   wait_dead NAME [S]                   kill_window NAME        close NAME
set -u
. "$(dirname "${BASH_SOURCE[0]}")/tmux_lib.sh"
command="${1:-}"
case "$command" in
  start|keys|text|capture|title|format|pane_pid|wait_text|wait_format|wait_dead|kill_window|close)
    shift
    "tmux_$command" "$@" ;;
  *)
    echo "usage: tmux_drive.sh start|keys|text|capture|title|format|pane_pid|wait_text|wait_format|wait_dead|kill_window|close NAME ..." >&2
    exit 2 ;;
esac
