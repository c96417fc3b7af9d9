#!/usr/bin/env bash
# Builds with ThreadSanitizer in build-tsan (clang when there is one, else gcc) and runs the tests
# where threads meet: eight facades against one gcemu, and the emulator's core tests (its server,
# faults, journal and control API). Any report fails the run. Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-tsan}

if command -v clang++ >/dev/null && command -v clang >/dev/null; then
  compilers=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
else
  compilers=(-DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGCSDK_SANITIZE=thread \
  -DGCSDK_BUILD_BENCH=OFF "${compilers[@]}" >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target threads_emulator_test emulator_core_test request_conformance_test

# halt_on_error: the first race ends the test with a failure, not only a line in its output.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
ctest --test-dir "$build" --output-on-failure -j "${JOBS:-2}" \
  -R '^(ThreadsEmulatorTest|EmulatorCoreTest|EmulatorFaultsTest|EmulatorWorldTest|EmulatorLifecycleTest|EmulatorControlApiTest|EmulatorRouterTest)\.' "$@"
