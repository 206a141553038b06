#!/bin/bash
# Runs a command beside a private PulseAudio server with a null sink (pulse_server.sh),
# with PULSE_SERVER pointing at it and OSTRELIN_PULSE_DIR naming its directory (for
# pulse_server.sh record). The server is stopped however the command ends.
#   with_pulse.sh COMMAND [ARGUMENTS...]
set -euo pipefail
here=$(dirname "$(realpath "$0")")
dir=$(mktemp -d /tmp/ostrelin-pulse.XXXXXX)
cleanup() { "$here/pulse_server.sh" stop "$dir" || true; rm -rf "$dir"; }
trap cleanup EXIT
server=$("$here/pulse_server.sh" start "$dir")
export PULSE_SERVER="$server" PULSE_CLIENTCONFIG="$dir/client.conf" OSTRELIN_PULSE_DIR="$dir"
status=0
"$@" || status=$?
exit $status
