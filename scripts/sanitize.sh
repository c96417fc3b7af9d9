#!/usr/bin/env bash
# The whole tree built with AddressSanitizer and UndefinedBehaviorSanitizer (clang) in build-asan and
# the whole suite run there: a memory error, a leak or undefined behaviour fails its test. Then a
# short run of every fuzz target (scripts/fuzz.sh, FUZZ_SECONDS each, default 10), built in the same
# tree so CI compiles the instrumented code once. Arguments go to ctest. Prints the time of each stage.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${SANITIZE_BUILD_DIR:-build-asan}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

start=$SECONDS
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DGCSDK_SANITIZE=ON -DGCSDK_FUZZ=ON -DGCSDK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${JOBS:-2}"
built=$SECONDS
ctest --test-dir "$build" --output-on-failure -j "${JOBS:-2}" "$@"
tested=$SECONDS
FUZZ_BUILD_DIR=$build bash scripts/fuzz.sh "${FUZZ_SECONDS:-10}"
echo "sanitize: build $((built - start))s, suite $((tested - built))s, fuzz smoke $((SECONDS - tested))s"
