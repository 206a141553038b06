#!/bin/sh
# Runs each sound-loading fuzz target for longer than the test suite does.
# Usage: tests/sound/fuzz/run_long.sh [build-dir] [seconds-per-target]
# The build directory must be configured with -DOSTRELIN_FUZZ=ON and clang.
set -eu
build=${1:-build-sound-fuzz}
seconds=${2:-1800}
dir="$build/tests/sound/fuzz"
here=$(dirname "$(realpath "$0")")
export LSAN_OPTIONS="suppressions=$here/lsan.supp"
for target in sound_load_riff_fuzz sound_load_vorbis_fuzz; do
  corpus="$dir/corpus/$target"
  "$dir/sound_fuzz_seeds" "$target" "$corpus"
  mkdir -p "$dir/crashes/$target"
  echo "== $target for ${seconds}s"
  "$dir/$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
    -artifact_prefix="$dir/crashes/$target/" "$corpus"
done
