#!/usr/bin/env bash
# Runs a host and the C example on one hive and passes when the host printed the same
# listing, byte for byte, ending in the expected totals. A host whose compiler or runtime
# is absent is skipped (exit 77) with the reason.
# Usage: same-walk.sh HIVE TOTALS REFERENCE HOST [HOST ARGUMENTS...]
#        same-walk.sh --missing "what is not installed"
set -uo pipefail
if [ "$1" = --missing ]; then
  echo "skipped: $2"
  exit 77
fi
hive=$1 totals=$2 reference=$3
shift 3
expected=$(mktemp) got=$(mktemp)
trap 'rm -f "$expected" "$got"' EXIT
"$reference" "$hive" >"$expected" || { echo "the C example failed on $hive"; exit 1; }
status=0
"$@" "$hive" >"$got" || status=$?
tail -n 1 "$got"
if [ "$status" -ne 0 ]; then
  echo "the host exited with status $status"
  exit 1
fi
if ! cmp -s "$expected" "$got"; then
  echo "the host's listing differs from the C example's:"
  diff "$expected" "$got" | head -n 20
  exit 1
fi
if [ "$(tail -n 1 "$got")" != "$totals" ]; then
  echo "expected the totals: $totals"
  exit 1
fi
echo "$(wc -l <"$got") lines, the same as the C example's"
