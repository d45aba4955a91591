#!/usr/bin/env bash
# Fuzzes the library and vesk-dump's walker with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer (clang 14: a build of its own, as the others are gcc's). Each
# target runs FUZZ_SECONDS (default 60) from the seed corpus and fails on any crash,
# sanitizer report, broken promise, timeout (5 s) or memory blow-up (1 GiB); libFuzzer's
# final figures are printed. An input that broke a target is copied to fuzz/regressions/,
# which the ordinary test suite replays from then on: commit it with the fix.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"
seconds=${FUZZ_SECONDS:-60}
build=build/fuzz
jobs=${VESK_JOBS:-2}

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVESK_BUILD_FUZZERS=ON -DVESK_BUILD_TESTS=OFF -DVESK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target vesk_fuzzers >/dev/null

status=0
for target in library dump; do
  fuzzer=$build/fuzz/vesk_${target}_fuzzer
  if [ ! -x "$fuzzer" ]; then
    echo "vesk_${target}_fuzzer: not built"
    status=1
    continue
  fi
  work=$(mktemp -d)
  mkdir "$work/found" "$work/broken"
  echo "-- vesk_${target}_fuzzer for ${seconds} s"
  # New inputs go to the first folder, so the committed corpus stays as its recipe made it.
  # -print_funcs=0: naming a newly covered function starts llvm-symbolizer, whose pipes
  # stay open in the process and would read as descriptors the library kept.
  rc=0
  "$fuzzer" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 -print_final_stats=1 \
    -print_funcs=0 \
    -dict=fuzz/hive.dict -artifact_prefix="$work/broken/" \
    "$work/found" fuzz/corpus fuzz/regressions >"$work/log" 2>&1 &
  pid=$!
  wait "$pid" || rc=$?
  # A target that crashed could not remove the file its inputs went to (fuzz/fuzz_file.h).
  rm -f "/dev/shm/vesk-fuzz-${target}-${pid}" "${TMPDIR:-/tmp}/vesk-fuzz-${target}-${pid}"
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$work/log" || true
  grep -E '^stat::' "$work/log" || true
  if [ "$rc" -ne 0 ] ||
     grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|broken promise' \
       "$work/log"; then
    echo "vesk_${target}_fuzzer FAILED (exit $rc); the end of its log:"
    tail -n 60 "$work/log"
    for input in "$work"/broken/*; do
      [ -e "$input" ] || continue
      kept=fuzz/regressions/${target}-$(basename "$input")
      cp "$input" "$kept"
      echo "kept $kept"
    done
    status=1
  fi
  rm -rf "$work"
done
exit "$status"
