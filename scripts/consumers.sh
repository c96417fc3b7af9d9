#!/usr/bin/env bash
# The library as an integrator meets it: installed into a temporary prefix, the example agent
# (examples/agent) built against it with CMake's find_package and with pkg-config in a plain compile
# command, both run against the installed gcemu, and gcemu's world kept across a restart.
# Needs a build (scripts/test.sh makes one); BUILD_DIR names it.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build=$(cd "${BUILD_DIR:-build}" && pwd)
work=$(mktemp -d)
gcemu_pid=
stop_gcemu() {
  [[ -n $gcemu_pid ]] || return 0
  kill -TERM "$gcemu_pid" 2>/dev/null || true
  wait "$gcemu_pid" || true
  gcemu_pid=
}
trap 'stop_gcemu; rm -rf "$work"' EXIT
fail() { echo "consumers: $*" >&2; [[ -f $work/gcemu.log ]] && cat "$work/gcemu.log" >&2; exit 1; }

cmake --build "$build" -j "${JOBS:-2}" >/dev/null
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
export PATH=$prefix/bin:$PATH

# The two consumers, from outside the source tree.
cd "$work"
cmake -S "$source_dir/examples/agent" -B agent-cmake -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build agent-cmake >/dev/null
export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name GoogleCloudSDKWrapper.pc)")
c++ -std=c++17 "$source_dir/examples/agent/agent.cpp" -o agent-pkgconfig \
  $(pkg-config --cflags --libs GoogleCloudSDKWrapper) -Wl,-rpath,"$(pkg-config --variable=libdir GoogleCloudSDKWrapper)"

# gcemu in the background; its settings file and key appear when it serves.
start_gcemu() {
  rm -f "$work/state/gcsdk.ini"
  gcemu --state-dir "$work/state" >>"$work/gcemu.log" 2>&1 &
  gcemu_pid=$!
  for _ in $(seq 300); do
    [[ -s $work/state/gcsdk.ini ]] && grep -q 'Stop with Ctrl-C' "$work/gcemu.log" && return 0
    kill -0 "$gcemu_pid" 2>/dev/null || fail "gcemu stopped at start"
    sleep 0.1
  done
  fail "gcemu wrote no settings file"
}
start_gcemu
key=$(ls "$work"/state/gcsdk-demo@*.json)
# The library's GUID cache goes in the work folder, not the user's.
settings=$work/agent.ini
cp "$work/state/gcsdk.ini" "$settings"
echo "sGuidCacheFile=$work/guids.db" >>"$settings"
export GCSDK_SETTINGS=$settings GCSDK_KEY_FILE=$key

guid=$(gcsdk find --name web-1 --project gcemu-project-1 --json |
       python3 -c 'import json, sys; print(json.load(sys.stdin)["id"])')
for tag in cmake pkgconfig; do
  agent=./agent-$tag
  [[ $tag == cmake ]] && agent=./agent-cmake/agent
  out=$("$agent" "$key" "$guid" "ci-$tag-") || fail "$agent failed"
  grep -q "^snapshot ci-$tag-web-1 READY" <<<"$out" || fail "$agent: $out"
  grep -q "^snapshot ci-$tag-web-data-1 READY" <<<"$out" || fail "$agent: $out"
done

# Restarted in the same state folder, gcemu still has what the agents made, and their key still works.
stop_gcemu
grep -q "world saved to $work/state/world-state.json" "$work/gcemu.log" || fail "gcemu saved no world"
start_gcemu
cp "$work/state/gcsdk.ini" "$settings"
echo "sGuidCacheFile=$work/guids.db" >>"$settings"
snapshots=$(gcsdk snapshots list --project gcemu-project-1 --json)
grep -q '"ci-cmake-web-1"' <<<"$snapshots" && grep -q '"ci-pkgconfig-web-data-1"' <<<"$snapshots" || fail "the snapshots did not survive the restart"
stop_gcemu
echo "consumers ok: find_package and pkg-config builds ran against gcemu, whose world survived a restart (${SECONDS}s)"
