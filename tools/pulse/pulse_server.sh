#!/bin/bash
# A private PulseAudio server with one null sink, for tests that play through the real
# audio path and record what came out.
#
#   pulse_server.sh start DIR          start a server whose runtime files live in DIR;
#                                      prints the PULSE_SERVER value to use
#   pulse_server.sh record DIR FILE    record the null sink's monitor into FILE
#                                      (raw s16le, 48000 Hz, stereo) in the background
#   pulse_server.sh stop-record DIR    stop that recording (the file is complete after it)
#   pulse_server.sh stop DIR           stop the recording, if any, and the server
#
# The server uses only DIR (runtime, config, home), loads only the modules named here
# (-n), never exits on idle and does not daemonize, so the pid kept in DIR is its own.
# It runs as root too: PulseAudio only warns about that in user mode.
set -euo pipefail

SINK=ostrelin_null
RATE=48000
CHANNELS=2

usage() { echo "usage: $0 start|record|stop-record|stop DIR [FILE]" >&2; exit 2; }

[ $# -ge 2 ] || usage
command=$1
dir=$(realpath -m "$2")

client_env() {
  export PULSE_SERVER="unix:$dir/native"
  export PULSE_CLIENTCONFIG="$dir/client.conf"
  export PULSE_COOKIE="$dir/cookie"
  export HOME="$dir/home" XDG_CONFIG_HOME="$dir/config" XDG_RUNTIME_DIR="$dir/runtime"
}

wait_gone() {  # pid: waits up to 5 s, then kills
  local pid=$1 i
  for i in $(seq 50); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
}

case "$command" in
  start)
    mkdir -p "$dir/home" "$dir/config" "$dir/runtime"
    chmod 700 "$dir/runtime"
    # Clients never start a server of their own: they use this one or fail.
    printf 'autospawn = no\n' > "$dir/client.conf"
    client_env
    export PULSE_RUNTIME_PATH="$dir/runtime"
    setsid pulseaudio -n --daemonize=no --system=false --exit-idle-time=-1 \
      --use-pid-file=false --realtime=false --high-priority=false --disable-shm=yes \
      --log-target="file:$dir/server.log" \
      -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
      -L "module-null-sink sink_name=$SINK rate=$RATE channels=$CHANNELS format=s16le norewinds=1" \
      -L "module-always-sink" \
      </dev/null >/dev/null 2>&1 &
    echo $! > "$dir/server.pid"
    for i in $(seq 100); do
      if pactl info >/dev/null 2>&1; then
        pactl set-default-sink "$SINK"
        echo "$PULSE_SERVER"
        exit 0
      fi
      kill -0 "$(cat "$dir/server.pid")" 2>/dev/null || break
      sleep 0.1
    done
    echo "pulse_server.sh: the server did not come up; its log:" >&2
    cat "$dir/server.log" >&2 2>/dev/null || true
    exit 1
    ;;
  record)
    [ $# -eq 3 ] || usage
    client_env
    parec --device="$SINK.monitor" --raw --format=s16le --rate=$RATE --channels=$CHANNELS \
      --latency-msec=10 "$3" </dev/null 2>"$dir/parec.log" &
    echo $! > "$dir/parec.pid"
    # Recording has begun once the server lists the record stream.
    for i in $(seq 100); do
      if pactl list short source-outputs 2>/dev/null | grep -q .; then exit 0; fi
      kill -0 "$(cat "$dir/parec.pid")" 2>/dev/null || break
      sleep 0.05
    done
    echo "pulse_server.sh: parec did not start; its log:" >&2
    cat "$dir/parec.log" >&2 2>/dev/null || true
    exit 1
    ;;
  stop-record|stop)
    if [ -f "$dir/parec.pid" ]; then
      pid=$(cat "$dir/parec.pid")
      kill -TERM "$pid" 2>/dev/null || true
      wait_gone "$pid"
      rm -f "$dir/parec.pid"
    fi
    if [ "$command" = stop ] && [ -f "$dir/server.pid" ]; then
      pid=$(cat "$dir/server.pid")
      kill -TERM "$pid" 2>/dev/null || true
      wait_gone "$pid"
      rm -f "$dir/server.pid"
    fi
    ;;
  *) usage ;;
esac
