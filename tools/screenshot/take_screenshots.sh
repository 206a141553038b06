#!/bin/bash
# Maintainer tool: screenshots of both states of the real monitor for the README. Runs the
# monitor in a tmux pane inside a private network namespace whose test host holds the
# probe target (answering: the all-well line; then ignoring echo: the alarm line),
# captures the pane with its colours (capture-pane -e -p) and renders each capture to a
# PNG with ansi_to_png.py. Needs root, tmux, python3-pil and fonts-dejavu-core.
#   take_screenshots.sh [BUILD_DIR [OUT_DIR]]   (defaults: build, docs)
# Writes OUT_DIR/screenshot-all-well.png and OUT_DIR/screenshot-alarm.png.
set -eu
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
if [ "${1:-}" = --inside ]; then
  # Inside the namespace that netns_run.sh made.
  ostrelin="$2" out="$3" target="$4"
  host_variable="NETNS_HOST_${target//./_}"
  host="${!host_variable}"
  . "$root/tools/tmux/tmux_lib.sh"
  name="ostr-shot-$$"
  columns=44 rows=6
  trap 'tmux_close "$name"' EXIT
  [ -z "$(ip -4 route show default)" ] || { echo "default route here; refusing" >&2; exit 3; }
  tmux_start "$name" "$columns" "$rows" "$ostrelin"
  shoot() {  # TEXT FILE: waits for TEXT, then captures and renders
    tmux_wait_text "$name" "$1" 20 || { echo "'$1' did not appear" >&2; exit 1; }
    sleep 0.3
    tmux_capture "$name" -e >"$out/capture.txt"
    local cursor=""
    [ "$(tmux_format "$name" '#{cursor_flag}')" = 1 ] &&
      cursor="$(tmux_format "$name" '#{cursor_x},#{cursor_y}')"
    /usr/bin/python3 "$here/ansi_to_png.py" "$out/capture.txt" "$out/$2" \
      --size "${columns}x${rows}" --title "$(tmux_title "$name")" ${cursor:+--cursor "$cursor"}
    rm -f "$out/capture.txt"
    echo "wrote $out/$2"
  }
  shoot "=:)" screenshot-all-well.png
  "$root/tools/netns/netns_host_echo.sh" "$host" ignore
  shoot "Drellomar" screenshot-alarm.png
  exit 0
fi

build="$(realpath "${1:-$root/build}")"
out="$(realpath -m "${2:-$root/docs}")"
mkdir -p "$out"
/usr/bin/python3 -c "import PIL" 2>/dev/null || { echo "needs python3-pil (apt-get install python3-pil)" >&2; exit 1; }
target="$(sed -n 's/.*PROBE_TARGET *= *"\([0-9.]*\)".*/\1/p' "$root/app/monitor_constants.h")"
[ -n "$target" ] || { echo "cannot read the probe target" >&2; exit 1; }
exec "$root/tools/netns/netns_run.sh" --answer "$target" --ping-group -- \
  "$here/take_screenshots.sh" --inside "$build/app/ostrelin" "$out" "$target"
