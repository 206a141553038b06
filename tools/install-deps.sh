#!/bin/sh
# Installs the Debian packages that building, running and testing need.
#   tools/install-deps.sh          what the monitor needs to build and run
#   tools/install-deps.sh --test   plus what the tests and benchmarks use
set -eu

packages="build-essential cmake ninja-build pkg-config libsdl2-dev libvorbis-dev libogg-dev libcap2-bin"
if [ "${1:-}" = "--test" ]; then
  packages="$packages libgtest-dev libgmock-dev libbenchmark-dev clang-14 libclang-rt-14-dev \
    tmux iproute2 iputils-ping pulseaudio pulseaudio-utils vorbis-tools sox procps psmisc \
    screen desktop-file-utils man-db groff-base bsdextrautils util-linux dpkg-dev"
fi

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
fi
