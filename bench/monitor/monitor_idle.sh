#!/bin/bash
# Cost of the monitor while all is well: runs the real monitor in a tmux pane for 60 s of
# answered probes, inside a private network namespace whose test host holds the monitor's
# target address, and beside it `ping -i 5` to the same host over the same 60 s. Reports
# the CPU time and peak resident memory of both, and the monitor's as ratios to ping's.
#
# Usage: bench/monitor/monitor_idle.sh [MONITOR_BINARY [TARGET_ADDRESS]]
#   MONITOR_BINARY  default build/app/ostrelin (from the repository root)
#   TARGET_ADDRESS  default: PROBE_TARGET read from app/monitor_constants.h
#   MONITOR_IDLE_SECONDS  length of the run (default 60)
# Needs root (network namespaces), tmux and ping. Never runs outside the namespace.
set -u

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
seconds="${MONITOR_IDLE_SECONDS:-60}"

if [ "${1:-}" = "--inside" ]; then
  shift
  monitor="$1" target="$2"
  . "$root/tools/tmux/tmux_lib.sh"
  # Refuse to probe anything from a namespace that could reach beyond this machine.
  if [ -n "$(ip -4 route show default)" ] || [ -n "$(ip -6 route show default)" ]; then
    echo "monitor_idle: default route present; refusing to start" >&2
    exit 3
  fi

  # CPU time in seconds of every thread of a process, and its peak resident size in KiB.
  cpu_seconds() {
    local pid="$1" total=0 task run
    for task in /proc/"$pid"/task/*; do
      read -r run _ < "$task/schedstat" 2>/dev/null || continue
      total=$((total + run))
    done
    awk -v ns="$total" 'BEGIN { printf "%.4f", ns / 1e9 }'
  }
  peak_kib() { awk '/^VmHWM:/ { print $2 }' /proc/"$1"/status; }

  session="monitor-idle-$$"
  trap 'tmux_close "$session" >/dev/null 2>&1; [ -n "${ping_pid:-}" ] && kill "$ping_pid" 2>/dev/null' EXIT
  tmux_start "$session" 80 24 "$monitor" || { echo "monitor_idle: tmux did not start" >&2; exit 4; }
  monitor_pid="$(tmux_pane_pid "$session")"
  ping -q -n -i 5 "$target" >/dev/null 2>&1 &
  ping_pid=$!

  # Every pass redraws the screen; sample it so that one alarm pass cannot go unnoticed.
  # Start-up is counted apart: CPU from the fifth second on is the steady cost.
  alarms=0 all_well=0 elapsed=0 monitor_start_cpu=0 ping_start_cpu=0
  while [ "$elapsed" -lt "$seconds" ]; do
    sleep 1
    elapsed=$((elapsed + 1))
    if [ "$elapsed" -eq 5 ]; then
      monitor_start_cpu="$(cpu_seconds "$monitor_pid")" ping_start_cpu="$(cpu_seconds "$ping_pid")"
    fi
    screen="$(tmux_capture "$session")"
    case "$screen" in
      *"Drellomar"*) alarms=$((alarms + 1)) ;;
      *"=:)"*) all_well=$((all_well + 1)) ;;
    esac
    kill -0 "$monitor_pid" 2>/dev/null || { echo "monitor_idle: the monitor ended" >&2; exit 5; }
  done
  monitor_cpu="$(cpu_seconds "$monitor_pid")" monitor_rss="$(peak_kib "$monitor_pid")"
  ping_cpu="$(cpu_seconds "$ping_pid")" ping_rss="$(peak_kib "$ping_pid")"

  awk -v s="$seconds" -v t="$target" -v mc="$monitor_cpu" -v mr="$monitor_rss" \
      -v pc="$ping_cpu" -v pr="$ping_rss" -v ok="$all_well" -v bad="$alarms" \
      -v ms="$monitor_start_cpu" -v ps="$ping_start_cpu" 'BEGIN {
    printf "monitor_idle: %d s against %s (test host in a private namespace)\n", s, t
    printf "  screen samples: %d all-well, %d alarm\n", ok, bad
    printf "  %-12s %12s %16s %14s\n", "", "CPU time", "CPU after 5 s", "peak RSS"
    printf "  %-12s %10.4f s %14.4f s %10.2f MiB\n", "monitor", mc, mc - ms, mr / 1024
    printf "  %-12s %10.4f s %14.4f s %10.2f MiB\n", "ping -i 5", pc, pc - ps, pr / 1024
    printf "  %-12s", "ratio"
    if (pc > 0) printf " %12.2f", mc / pc; else printf " %12s", "n/a"
    if (pc - ps > 0) printf " %16.2f", (mc - ms) / (pc - ps); else printf " %16s", "n/a"
    printf " %14.2f\n", mr / pr
  }'
  [ "$alarms" -eq 0 ] || { echo "monitor_idle: alarm passes seen; not an all-well run" >&2; exit 6; }
  exit 0
fi

monitor="${1:-$root/build/app/ostrelin}"
case "$monitor" in /*) ;; *) [ -e "$monitor" ] || monitor="$root/$monitor" ;; esac
monitor="$(cd "$(dirname "$monitor")" && pwd)/$(basename "$monitor")"
target="${2:-}"
if [ -z "$target" ] && [ -f "$root/app/monitor_constants.h" ]; then
  target="$(sed -n 's/.*PROBE_TARGET *= *"\([0-9.]*\)".*/\1/p' "$root/app/monitor_constants.h")"
fi
[ -n "$target" ] || { echo "usage: monitor_idle.sh [MONITOR_BINARY [TARGET_ADDRESS]]" >&2; exit 2; }
[ -x "$monitor" ] || { echo "monitor_idle: no monitor at $monitor" >&2; exit 2; }

exec "$root/tools/netns/netns_run.sh" --ping-group --answer "$target" --set MONITOR_IDLE_SECONDS="$seconds" \
  -- "$here/monitor_idle.sh" --inside "$monitor" "$target"
