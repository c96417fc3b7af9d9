#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer) in
# build-fuzz, seeds each target's corpus from tests/data/fixtures, runs the targets one after another
# for SECONDS each (default 60) and prints the executions of each. Fails on a finding; its input is
# kept under build-fuzz/fuzz/findings/<target>/. The corpora grow from run to run.
#   FUZZ_TARGETS="record_fuzz token_fuzz"  only these targets
#   FUZZ_RUNS=1000000                       stop each target after this many inputs (or SECONDS)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}
targets=(${FUZZ_TARGETS:-zkjson_fuzz record_fuzz error_body_fuzz token_fuzz settings_fuzz guid_cache_fuzz})
fixtures=tests/data/fixtures
work=$build/fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGCSDK_FUZZ=ON >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target gcsdk_fuzz_targets

# seed TARGET FILE...: the captures as they are.
seed() {
  local dir=$work/corpus/$1
  shift
  mkdir -p "$dir"
  local file
  for file in "$@"; do cp "$file" "$dir/$(basename "$(dirname "$file")")-$(basename "$file")"; done
}
# seed_after_byte TARGET BYTE FILE...: each capture behind a first byte that picks how the target
# reads it (record_fuzz: the index of the family in fuzz/RecordFuzz.cpp).
seed_after_byte() {
  local dir=$work/corpus/$1 byte=$2
  shift 2
  mkdir -p "$dir"
  local file
  for file in "$@"; do
    { printf "\\x$(printf %02x "$byte")"; cat "$file"; } >"$dir/b$byte-$(basename "$(dirname "$file")")-$(basename "$file")"
  done
}
# seed_text TARGET NAME TEXT: a seed written here, for what has no capture.
seed_text() {
  mkdir -p "$work/corpus/$1"
  printf '%b' "$3" >"$work/corpus/$1/$2"
}

shopt -s nullglob
seed zkjson_fuzz "$fixtures"/*/*.json
records=(
  "0 compute/instance*" "1 compute/disk-* compute/disks-*" "2 compute/operation* sqladmin/operation*"
  "3 compute/operation-done-error* compute/operations-aggregated-error*" "4 compute/zone*"
  "5 compute/region*" "7 compute/network*" "8 compute/subnetwork*" "11 compute/machinetype*"
  "12 compute/image*" "13 compute/snapshot*" "14 compute/disktype*" "17 compute/license*"
  "18 resourcemanager/* compute/project-*" "36 sqladmin/instance*" "38 kms/*" "39 spanner/instance*"
  "41 spanner/backups*" "43 spanner/database*" "44 dataflow/*" "45 spanner/operation* longrunning/*"
  "46 storage/*"
)
# The records read inside others start from the captures of the resource that holds them.
for nested in 6 9 10 15 16 19 20 21 22 37; do records+=("$nested compute/instance*"); done
for nested in 23 24 25 26 27 28 29 30 31 32 33 34 35; do records+=("$nested sqladmin/instance*"); done
records+=("40 spanner/instance*" "42 spanner/database*" "47 storage/*" "48 storage/*")
for entry in "${records[@]}"; do
  read -r -a words <<<"$entry"
  files=()
  for glob in "${words[@]:1}"; do files+=("$fixtures"/$glob); done
  seed_after_byte record_fuzz "${words[0]}" "${files[@]}"
done
seed error_body_fuzz "$fixtures"/errors/*.json "$fixtures"/longrunning/*.json
seed_text error_body_fuzz oauth.json '{"error":"invalid_grant","error_description":"Invalid JWT Signature."}'
seed_text error_body_fuzz xml.txt "<?xml version='1.0' encoding='UTF-8'?><Error><Code>NoSuchKey</Code><Message>The specified key does not exist.</Message></Error>"
seed_text token_fuzz token.json '{"access_token":"ya29.c.b0Aaek","expires_in":3599,"token_type":"Bearer"}'
seed_text token_fuzz refusal.json '{"error":"invalid_grant","error_description":"Invalid JWT Signature."}'
seed token_fuzz "$fixtures"/errors/*.json
seed_text settings_fuzz emulator.ini '[GoogleCloud]\n; every connection goes to the emulator\nsConnectTo=127.0.0.1:8443\nsCaBundle=/tmp/gcemu/ca.pem # its authority\n'
seed_text settings_fuzz numbers.ini '[Base]\ndBASEHOME=/opt/agent\n[VirtualServer]\nnGoogleCloudOperationTimeout=900\nnGoogleCloudOperationWaitTime=5\nnGoogleOperationRetryAttempts=5\nnGoogleOperationRetryIntervalInSeconds=10\nnGoogleSnapshotTimeoutInSecs=86400\nnGoogleSnapshotPollingInSecs=60\n[GoogleCloud]\nnHttpConnectTimeoutSecs=30\nnHttpStallTimeoutSecs=120\nnLogLevel=2\nsProxy=http://proxy:3128\nsComputeHost=compute.googleapis.com\n'
seed_text guid_cache_fuzz ops.bin '1234567890123456789\x13gcemu-project-1\x0bus-central1\x0dus-central1-a\x00\x01'

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export TMPDIR=$PWD/$work/tmp
mkdir -p "$TMPDIR" "$work/logs"
failed=()
for target in "${targets[@]}"; do
  mkdir -p "$work/findings/$target" "$work/corpus/$target"
  log=$work/logs/$target.log
  # Larger inputs add little but slow every run down: the biggest captures are cut to this.
  limits=(-max_total_time="$seconds" -max_len="${FUZZ_MAX_LEN:-16384}")
  [[ -n ${FUZZ_RUNS:-} ]] && limits+=(-runs="$FUZZ_RUNS")
  start=$SECONDS
  status=0
  env -u GCSDK_SETTINGS "$build/fuzz/$target" "${limits[@]}" -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$work/findings/$target/" "$work/corpus/$target" >"$log" 2>&1 || status=$?
  executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  [[ -n $executions ]] || executions=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#' || true)
  printf 'fuzz: %-16s %10s executions in %4ds  %s\n' "$target" "${executions:-?}" $((SECONDS - start)) \
    "$([[ $status -eq 0 ]] && echo ok || echo "FINDING (exit $status), see $log")"
  if [[ $status -ne 0 ]]; then
    failed+=("$target")
    grep -A40 -m1 'ERROR: \|fuzz check failed\|runtime error' "$log" || tail -40 "$log"
  fi
done
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzz: findings in ${failed[*]}; inputs under $work/findings/" >&2
  exit 1
fi
