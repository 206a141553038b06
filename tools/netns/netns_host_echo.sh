#!/bin/bash
# Switches a test host made by netns_run.sh between answering and ignoring echo requests.
# Usage: netns_host_echo.sh HOST_NAMESPACE answer|ignore
#   e.g. netns_host_echo.sh "$NETNS_HOST_9_9_9_9" ignore
set -u
[ $# -eq 2 ] && { [ "$2" = answer ] || [ "$2" = ignore ]; } ||
  { echo "usage: netns_host_echo.sh HOST_NAMESPACE answer|ignore" >&2; exit 2; }
. "$(dirname "${BASH_SOURCE[0]}")/netns_lib.sh"
netns_host_echo "$1" "$2"
