#!/usr/bin/env bash
# valgrind --leak-check=full over a whole walk of every real hive plus a bounded walk of
# each seed in fuzz/corpus/ (tests/hostile/walk_hives.cpp), and over vesk-dump on the
# sample hive and a real one, all as scripts/test built them in build/release. Any error
# valgrind reports, a leak included, fails the check; its heap and error summaries are
# printed either way.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"
build=build/release
walk=$build/tests/hostile/vesk_walk_hives
dump=$build/tools/vesk-dump/vesk-dump
for program in "$walk" "$dump"; do
  [ -x "$program" ] || { echo "50-valgrind: $program is missing; scripts/test builds it" >&2; exit 1; }
done

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
  "$walk" "${hives[@]}" --bounded fuzz/corpus/*
under_valgrind "vesk-dump examples/sample.hiv" output "$dump" examples/sample.hiv
under_valgrind "vesk-dump dfwinreg-NTUSER.DAT" output "$dump" tests/data/hives/dfwinreg-NTUSER.DAT
exit "$status"
