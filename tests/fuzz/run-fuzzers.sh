#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan and UBSan, in build-fuzz/), makes their seed
# corpus and runs each target for the given number of seconds (default 60). Fails on any crash,
# hang (an input running longer than the timeout), leak, memory limit or sanitizer finding;
# the input that caused it is kept in build-fuzz/fuzz-artifacts/. New inputs collect in
# build-fuzz/fuzz-corpus/<target>/ and are used again by the next run.
# Usage: tests/fuzz/run-fuzzers.sh [seconds per target]
set -euo pipefail
seconds=${1:-60}
cd "$(dirname "$0")/../.."
root=$(pwd)
build=$root/build-fuzz

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DVELMORAN_FUZZ=ON -DVELMORAN_TESTS=OFF -DVELMORAN_BENCH=OFF > "$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j2 --target BackupFileFuzzer TableFuzzer CommandFuzzer MakeFuzzSeeds

seeds=$build/fuzz-seeds
rm -rf "$seeds"
"$build/tests/fuzz/MakeFuzzSeeds" "$seeds"
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"

export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=64:malloc_context_size=10
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# target, seed folder, longest input: a backup file of two clusters must fit.
targets=("BackupFileFuzzer backup 1100000" "TableFuzzer table 200000" "CommandFuzzer command 256")
failed=0
summary=""
for entry in "${targets[@]}"; do
  read -r target name maxLength <<<"$entry"
  corpus=$build/fuzz-corpus/$name
  log=$build/fuzz-$name.log
  mkdir -p "$corpus"
  echo "== fuzzing $target for ${seconds}s"
  status=0
  "$build/tests/fuzz/$target" "$corpus" "$seeds/$name" -max_total_time="$seconds" -max_len="$maxLength" \
    -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$artifacts/$name-" > "$log" 2>&1 ||
    status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ "$status" -ne 0 ]; then
    failed=1
    tail -60 "$log"
    summary+="$target: FAILED (exit status $status, see $log and $artifacts)"$'\n'
  else
    summary+="$target: ${runs:-?} inputs in ${seconds}s, no finding"$'\n'
  fi
done
echo "== fuzzing summary"
printf '%s' "$summary"
exit $failed
