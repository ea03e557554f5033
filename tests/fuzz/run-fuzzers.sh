#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan and UBSan, in build-fuzz/) and runs each target
# for the given number of seconds (default 60; --long: an hour each, for a user or a nightly
# job). Each run starts from the corpus kept in tests/fuzz/corpus/<name>/ (small inputs, made by
# MakeFuzzSeeds and minimised from runs) and from what earlier runs found in
# build-fuzz/fuzz-corpus/<name>/, where new inputs collect. Fails on any crash, hang (an input
# running longer than the timeout), leak, memory limit or sanitizer finding; the input that
# caused it is kept in build-fuzz/fuzz-artifacts/. Prints per target the inputs run and the
# inputs per second.
# --update-corpus remakes tests/fuzz/corpus/ from MakeFuzzSeeds' seeds and the inputs in
# build-fuzz/fuzz-corpus/, minimised by libFuzzer's merge (run the fuzzers first).
# Usage: tests/fuzz/run-fuzzers.sh [seconds per target | --long | --update-corpus]
set -euo pipefail
mode=run
seconds=60
case "${1:-}" in
  --long) seconds=3600 ;;
  --update-corpus) mode=update ;;
  '') ;;
  *) seconds=$1 ;;
esac
cd "$(dirname "$0")/../.."
root=$(pwd)
build=$root/build-fuzz
kept=$root/tests/fuzz/corpus

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DVELMORAN_FUZZ=ON -DVELMORAN_TESTS=OFF -DVELMORAN_BENCH=OFF > "$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j2 --target BackupFileFuzzer TableFuzzer CommandFuzzer MpegFuzzer RecoverFuzzer MakeFuzzSeeds

artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"
# The targets make and remove files for every input: in memory where the system offers it.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=64:malloc_context_size=10
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# target, corpus name, longest input
targets=("BackupFileFuzzer backup 512" "TableFuzzer table 1024" "CommandFuzzer command 256" "MpegFuzzer mpeg 8192"
         "RecoverFuzzer recover 1024")

if [ "$mode" = update ]; then
  seeds=$build/fuzz-seeds
  rm -rf "$seeds"
  "$build/tests/fuzz/MakeFuzzSeeds" "$seeds"
  # The MPEG target's seeds are pieces of ffmpeg-made streams, kept as they are.
  mkdir -p "$seeds/mpeg" && cp "$kept/mpeg/"* "$seeds/mpeg/" 2>/dev/null || true
  for entry in "${targets[@]}"; do
    read -r target name maxLength <<<"$entry"
    rm -rf "$kept/$name"
    mkdir -p "$kept/$name" "$build/fuzz-corpus/$name"
    "$build/tests/fuzz/$target" -merge=1 -max_len="$maxLength" "$kept/$name" "$seeds/$name" \
      "$build/fuzz-corpus/$name" > "$build/merge-$name.log" 2>&1 || { tail -20 "$build/merge-$name.log"; exit 1; }
    echo "$target: $(ls "$kept/$name" | wc -l) inputs kept in tests/fuzz/corpus/$name"
  done
  exit 0
fi

failed=0
summary=""
for entry in "${targets[@]}"; do
  read -r target name maxLength <<<"$entry"
  corpus=$build/fuzz-corpus/$name
  log=$build/fuzz-$name.log
  mkdir -p "$corpus"
  echo "== fuzzing $target for ${seconds}s"
  status=0
  "$build/tests/fuzz/$target" "$corpus" "$kept/$name" -max_total_time="$seconds" -max_len="$maxLength" \
    -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$artifacts/$name-" > "$log" 2>&1 ||
    status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  if [ "$status" -ne 0 ]; then
    failed=1
    tail -60 "$log"
    summary+="$target: FAILED (exit status $status, see $log and $artifacts)"$'\n'
  else
    summary+="$target: ${runs:-?} inputs in ${seconds}s (${rate:-?} per second), no finding"$'\n'
  fi
done
echo "== fuzzing summary (load average: $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo ?))"
printf '%s' "$summary"
exit $failed
