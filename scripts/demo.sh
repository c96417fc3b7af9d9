#!/usr/bin/env bash
# The main job. Builds the library and installs it, with its headers and host services, into a
# local prefix (./_install, or $PREFIX), then says where everything is.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
prefix=${PREFIX:-$PWD/_install}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target GoogleCloudSDKWrapper GoogleCloudHostServices
cmake --install "$build" --prefix "$prefix" >/dev/null
echo "Installed into $prefix:"
find "$prefix" -name 'lib*.so*' -printf '  %p\n' | sort
echo "  $prefix/include/GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
echo "Compile an agent with: -I$prefix/include -I$prefix/include/GoogleCloudSDKWrapper -L$prefix/lib -lGoogleCloudSDKWrapper -lGoogleCloudHostServices"
