#!/usr/bin/env bash
# The diff .reg applied by a real regedit: for each pair of vesk-dump's diff test (each
# real hive in tests/data/hives and the sample, laid out again, and with seeded edits),
# OLD's .reg is imported into a fresh Wine prefix, then the diff's .reg over it, and the
# key exported again must hold exactly the keys and values (type and bytes) that NEW's
# .reg, imported beside it, gives. The .reg files are read by regedit_import.py's parser.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"
root=$PWD
build=$root/build/release
cmake --build "$build" -j2 --target vesk-dump vesk_dump_tests >/dev/null
dump=$build/tools/vesk-dump/vesk-dump

work=$build/regedit-diff
rm -rf "$work"
mkdir -p "$work/pairs"
VESK_DIFF_PAIRS_DIR=$work/pairs "$build/tools/vesk-dump/tests/vesk_dump_tests" \
  --gtest_filter=DiffTest.ReportsExactlyTheSeededEdits >/dev/null

export WINEPREFIX=$work/prefix WINEDEBUG=-all LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
wineserver=/usr/lib/wine/wineserver
"$root/scripts/wine-run" wineboot -i >/dev/null 2>&1 || true
"$wineserver" -w

failed=0
base='HKEY_CURRENT_USER\Software\vesk-diff'
for old in "$work"/pairs/*-old.hiv; do
  name=$(basename "$old" -old.hiv)
  new=$work/pairs/$name-new.hiv
  applied="$base\\$name-applied" wanted="$base\\$name-new"
  # Statuses 1 and 6 say what was not written or compared; the .reg holds the rest.
  "$dump" --format reg --prefix "$applied" "$old" >"$work/$name.old.reg" 2>/dev/null || [ $? -eq 1 ]
  "$dump" --diff --format reg --prefix "$applied" "$old" "$new" >"$work/$name.diff.reg" \
    2>/dev/null || [ $? -eq 6 ] || [ $? -eq 5 ]
  "$dump" --format reg --prefix "$wanted" "$new" >"$work/$name.new.reg" 2>/dev/null || [ $? -eq 1 ]
  for reg in old diff new; do "$root/scripts/wine-run" regedit /S "$work/$name.$reg.reg"; done
  "$root/scripts/wine-run" regedit /E "$work/$name.applied.export.reg" "$applied"
  "$root/scripts/wine-run" regedit /E "$work/$name.new.export.reg" "$wanted"
  python3 - "$work/$name.applied.export.reg" "$applied" "$work/$name.new.export.reg" "$wanted" \
    "$name" <<'PY' || failed=1
import sys
sys.path.insert(0, "scripts/test.d")
from regedit_import import parse_reg, read_reg

def registry(path, prefix):
    """{key path below the prefix: {name: (type, bytes)}}, case ignored as regedit does."""
    keys = parse_reg(read_reg(path))
    out = {}
    for lower, (_, values) in keys.items():
        assert lower.startswith(prefix.lower()), lower
        out[lower[len(prefix):]] = {n: (v[1], v[2]) for n, v in values.items()}
    return out

applied = registry(sys.argv[1], sys.argv[2])
wanted = registry(sys.argv[3], sys.argv[4])
bad = [k for k in sorted(set(applied) | set(wanted)) if applied.get(k) != wanted.get(k)]
for k in bad[:10]:
    print(f"{sys.argv[5]}: key {k or '(top)'}: applied {applied.get(k)} wanted {wanted.get(k)}")
values = sum(len(v) for v in wanted.values())
print(f"{sys.argv[5]}: {len(wanted)} keys, {values} values: " + ("DIFFERENT" if bad else "equal"))
sys.exit(1 if bad else 0)
PY
done
exit "$failed"
