#!/usr/bin/env bash
# valgrind --leak-check=full over a whole walk of every real hive plus a bounded walk of
# each seed in fuzz/corpus/ (tests/walk_hives.cpp), and over vesk-dump on the sample hive
# and a real one when that tool is built. Any error valgrind reports, a leak included,
# fails the check; its heap and error summaries are printed either way.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"
build=build/release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target vesk_walk_hives >/dev/null

status=0
# under_valgrind WHAT SHOW COMMAND...: SHOW "walk" prints the walk's report (less the
# seeds' lines), anything else only how many lines the command wrote.
under_valgrind() {
  local what=$1 show=$2
  shift 2
  local log
  log=$(mktemp)
  echo "-- $what"
  local rc=0
  valgrind --leak-check=full --error-exitcode=1 --log-file="$log" "$@" >"$log.out" || rc=$?
  if [ "$show" = walk ]; then
    grep -vE '^fuzz/corpus/[^:]*: (refused|[0-9]+ keys, )' "$log.out" || true
  else
    echo "   $(wc -l <"$log.out") lines written"
  fi
  grep -E 'in use at exit|total heap usage|(definitely|indirectly|possibly) lost|ERROR SUMMARY' \
    "$log" | sed -E 's/^==[0-9]+==[[:space:]]*/   /'
  if [ "$rc" -ne 0 ]; then
    echo "$what FAILED (exit $rc)"
    cat "$log"
    status=1
  fi
  rm -f "$log" "$log.out"
}

hives=(tests/data/hives/dfwinreg-NTUSER.DAT tests/data/hives/dfirmuseum-win7-BCD
       tests/data/hives/python-registry-UNICODE_TESTS tests/data/hives/dfirmuseum-win10-ELAM)
seeds=$(find fuzz/corpus -type f ! -name README.md | wc -l)
under_valgrind "walk of ${#hives[@]} real hives and $seeds seeds" walk \
  "$build/tests/vesk_walk_hives" "${hives[@]}" --bounded fuzz/corpus/*

dump=$build/tools/vesk-dump/vesk-dump
if [ -x "$dump" ]; then
  if [ -e examples/sample.hiv ]; then
    under_valgrind "vesk-dump examples/sample.hiv" output "$dump" examples/sample.hiv
  fi
  under_valgrind "vesk-dump dfwinreg-NTUSER.DAT" output "$dump" tests/data/hives/dfwinreg-NTUSER.DAT
else
  echo "-- vesk-dump: skipped, $dump is not built in this tree"
fi
exit "$status"
