#!/usr/bin/env bash
# Builds everything and runs the whole test suite (unit and emulator-backed tests).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${JOBS:-2}"
ctest --test-dir "$build" --output-on-failure -j "${JOBS:-2}" "$@"
