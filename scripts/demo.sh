#!/usr/bin/env bash
# The main job. Builds gcsdk (the library's command-line tool, with the library and the gcemu emulator)
# and runs 'gcsdk demo': a whole backup and restore of a VM through the library, against gcemu started
# in the same process. No network and no credentials needed. Arguments go to the demo (--json).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target gcsdk
exec "$build/tools/gcsdk/gcsdk" demo "$@"
