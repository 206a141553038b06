#!/bin/sh
# Installs what is needed, builds, and starts the monitor in this terminal.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTRELIN_TESTS=OFF -DOSTRELIN_BENCH=OFF >/dev/null
cmake --build build --target ostrelin
exec build/app/ostrelin
