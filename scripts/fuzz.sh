#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz/ (clang, ASan + UBSan) and runs them for a total
# time split between them. Crashing inputs land in build-fuzz/findings/; the corpus grown in a
# run stays in build-fuzz/corpus/ and is not committed (fuzz/corpus/ holds the seeds).
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]      default: 60 s over input_fuzzer, run_fuzzer,
#                                                   import_fuzzer, request_fuzzer and export_fuzzer
# FUZZ_JOBS=N runs N processes of each target side by side (default 1).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
total=${1:-60}
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(input_fuzzer run_fuzzer import_fuzzer request_fuzzer export_fuzzer)
jobs=${FUZZ_JOBS:-1}
# One OpenMP thread: idle worker threads spin and would take the fuzzer's core. The threaded paths
# are exercised by the sanitizer test suite.
export OMP_NUM_THREADS=1

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DZEPHOR_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz --target "${targets[@]}"

per_target=$(( total / ${#targets[@]} ))
[ "$per_target" -ge 1 ] || per_target=1
findings="$root/build-fuzz/findings"
mkdir -p "$findings"
status=0
for t in "${targets[@]}"; do
  seeds="$root/fuzz/corpus/${t%_fuzzer}"
  corpus="$root/build-fuzz/corpus/${t%_fuzzer}"
  mkdir -p "$corpus"
  work=$(mktemp -d /tmp/zephor-fuzz.XXXXXX)
  echo "== $t: ${per_target}s, seeds from $seeds"
  # Long lines and many lines are part of what is fuzzed; 8 KiB keeps the allocations of the
  # count-first design (n^2 doubles for n functions) well inside the memory limit. A checkpoint
  # and its report take more (BF3's pair is 9 KiB); their readers allocate as they read.
  max_len=8192
  [ "$t" != export_fuzzer ] || max_len=16384
  parallel=()
  [ "$jobs" -le 1 ] || parallel=(-jobs="$jobs" -workers="$jobs")
  if ! (cd "$work" && ZEPHOR_FUZZ_WORKDIR="$work" "$root/build-fuzz/fuzz/$t" "$corpus" "$seeds" \
      -max_total_time="$per_target" -max_len="$max_len" -timeout=20 -rss_limit_mb=4096 \
      "${parallel[@]}" -artifact_prefix="$findings/$t-" -print_final_stats=1) \
      2>"build-fuzz/$t.log"; then
    status=1
  fi
  # With -jobs, each worker logs to fuzz-N.log in the folder it was started from.
  find "$work" -name 'fuzz-*.log' -exec cat {} + >>"build-fuzz/$t.log"
  grep -a -E '^stat::number_of_executed_units|ERROR|SUMMARY' "build-fuzz/$t.log" || true
  rm -rf "$work"
done
if [ "$status" -ne 0 ] || ls "$findings"/* >/dev/null 2>&1; then
  echo "fuzzing found a failure: see build-fuzz/*.log and $findings" >&2
  exit 1
fi
