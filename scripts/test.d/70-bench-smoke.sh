#!/usr/bin/env bash
# The benchmarks once over, small: a hive of a few MB and one run of each, so that a
# change which breaks a benchmark program or bench/run shows here. Figures are printed,
# never judged; only a failing program or a table with a missing figure fails.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"
table=$(bench/run --mb 4 --reps 1 --build build/release)
printf '%s\n' "$table"
rows=$(grep -c '^|' <<<"$table")
[ "$rows" -eq 28 ] || { echo "70-bench-smoke: expected 28 table lines, got $rows" >&2; exit 1; }
# Every figure of vesk's own must be there: a peer may be missing, and with it the
# benchmark that needs it, but nothing that was built may fail.
if grep -E '^\| (Full walk|Peak RSS|Lock in|Timeline|vesk-dump --check|vesk-dump --format)' <<<"$table" | grep -q 'n/a' ||
   grep -q 'n/a (failed)' <<<"$table"; then
  echo "70-bench-smoke: a benchmark gave no figure" >&2
  exit 1
fi
