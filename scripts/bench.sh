#!/usr/bin/env bash
# The benchmarks: builds them (RelWithDebInfo, in build-bench) and prints the table of every figure —
# text to records for each list family beside nlohmann, one request through the facade beside raw
# libcurl, the demo's requests and TLS connections per host, and the requests and time of each
# discovery path on a generated world (BENCH_WORLD=PxZ, default 20x100). BENCHMARKS.md holds the table.
#
#   scripts/bench.sh           medians of 5 repetitions (10 taking turns for one request, 3 for
#                              discovery): the figures
#   scripts/bench.sh --brief   every benchmark once, in minimal time, on a 2x8 world: shows a broken
#                              benchmark (the exit status), never judges a time
set -euo pipefail
cd "$(dirname "$0")/.."
brief=0
for arg in "$@"; do
  case "$arg" in
    --brief) brief=1 ;;
    *) echo "usage: scripts/bench.sh [--brief]" >&2; exit 2 ;;
  esac
done
# BENCH_BUILD_DIR may name a tree that exists (CI passes the test build's): its settings are kept, so
# nothing is built again; a new tree is made without the tests.
build=${BENCH_BUILD_DIR:-build-bench}
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGCSDK_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j "${JOBS:-2}" \
  --target gcsdk_parse_bench gcsdk_request_bench gcsdk_discovery_bench gcsdk >/dev/null

out="$build/bench-results"
rm -rf "$out"
mkdir -p "$out"
if [ "$brief" = 1 ]; then
  runs=(--benchmark_min_time=0.01)
  request_runs=("${runs[@]}")
  discovery_runs=(--benchmark_min_time=0.01)
  world=${BENCH_WORLD:-2x8}
else
  runs=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
  # The facade and the raw GET take turns, so a machine that speeds up or slows down moves both alike.
  request_runs=(--benchmark_repetitions=10 --benchmark_enable_random_interleaving=true
    --benchmark_report_aggregates_only=true)
  discovery_runs=(--benchmark_repetitions=3 --benchmark_report_aggregates_only=true --benchmark_min_time=0.1)
  world=${BENCH_WORLD:-20x100}
fi

# Each benchmark's own table goes to a file beside its JSON; a failure shows it.
run() {
  local name=$1
  shift
  if ! "$@" --benchmark_out="$out/$name.json" --benchmark_out_format=json >"$out/$name.txt" 2>&1; then
    cat "$out/$name.txt" >&2
    echo "bench: $name failed" >&2
    exit 1
  fi
}
run parse "$build/bench/gcsdk_parse_bench" "${runs[@]}"
run request "$build/bench/gcsdk_request_bench" "${request_runs[@]}"
export BENCH_WORLD=$world
run discovery "$build/bench/gcsdk_discovery_bench" "${discovery_runs[@]}"
if ! "$build/tools/gcsdk/gcsdk" demo --json >"$out/demo.json" 2>"$out/demo.txt"; then
  cat "$out/demo.txt" >&2
  echo "bench: the demo failed" >&2
  exit 1
fi

table=(python3 scripts/bench-table.py "$out" --world "$world")
if [ "$brief" = 1 ]; then table+=(--brief); fi
"${table[@]}"
