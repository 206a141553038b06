#!/bin/sh
# Installs what is needed, builds, and runs every test: the plain build, the
# AddressSanitizer + UndefinedBehaviorSanitizer build, the ThreadSanitizer build (the
# thread tests), and the fuzz targets for a bounded time.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh --test
jobs=$(nproc)

run_build() {
  dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== plain build"
run_build build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTRELIN_BENCH=OFF
ctest --test-dir build-test --output-on-failure -j "$jobs" -LE "fuzz|tsan-only"

echo "== address and undefined-behaviour sanitizers"
run_build build-test-asan -DCMAKE_BUILD_TYPE=Debug -DOSTRELIN_SANITIZER=address,undefined -DOSTRELIN_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-test-asan --output-on-failure -j "$jobs" -LE "fuzz|e2e|pulse|netns|tsan-only"

if grep -rqs "LABELS.*tsan" tests; then
  echo "== thread sanitizer"
  run_build build-test-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTRELIN_SANITIZER=thread -DOSTRELIN_BENCH=OFF
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest --test-dir build-test-tsan --output-on-failure -j "$jobs" -L tsan
fi

if grep -rqs "OSTRELIN_FUZZ" tests; then
  echo "== fuzz targets (bounded)"
  run_build build-test-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTRELIN_FUZZ=ON -DOSTRELIN_BENCH=OFF \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
  ctest --test-dir build-test-fuzz --output-on-failure -L fuzz
fi
