#!/usr/bin/env bash
# The diff .reg applied by a real regedit: for each pair of vesk-dump's diff test (each
# real hive in tests/data/hives and the sample, laid out again, and with seeded edits),
# OLD's .reg is imported into a fresh Wine prefix, then the diff's .reg over it, and the
# key exported again must hold exactly the keys and values (type and bytes) that NEW's
# .reg, imported beside it, gives, each name in NEW's case. The .reg files are read by
# regedit_import.py's parser. The diff's csv and jsonl, read by Python's csv and json,
# must hold the same changes, each value's new type and bytes those of NEW's .reg (not of
# regedit's export, which drops the bytes past a string's end or a DWORD's four).
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
  for form in csv jsonl; do
    "$dump" --diff --format $form --prefix "$wanted" "$old" "$new" >"$work/$name.diff.$form" \
      2>/dev/null || [ $? -eq 6 ] || [ $? -eq 5 ]
  done
  for reg in old diff new; do "$root/scripts/wine-run" regedit /S "$work/$name.$reg.reg"; done
  "$root/scripts/wine-run" regedit /E "$work/$name.applied.export.reg" "$applied"
  "$root/scripts/wine-run" regedit /E "$work/$name.new.export.reg" "$wanted"
  python3 - "$work/$name.applied.export.reg" "$applied" "$work/$name.new.export.reg" "$wanted" \
    "$name" "$work/$name.diff.csv" "$work/$name.diff.jsonl" "$work/$name.new.reg" <<'PY' || failed=1
import csv
import json
import sys
sys.path.insert(0, "scripts/test.d")
from regedit_import import parse_reg, read_reg

def registry(path, prefix):
    """{key path below the prefix, lower-cased: (the path as stored, {name lower-cased:
    (name, type, bytes)})}: found with case ignored as regedit does, compared with it."""
    keys = parse_reg(read_reg(path))
    out = {}
    for lower, (stored, values) in keys.items():
        assert lower.startswith(prefix.lower()), lower
        out[lower[len(prefix):]] = (stored[len(prefix):], {n: v[:3] for n, v in values.items()})
    return out

applied = registry(sys.argv[1], sys.argv[2])
wanted = registry(sys.argv[3], sys.argv[4])
bad = [k for k in sorted(set(applied) | set(wanted)) if applied.get(k) != wanted.get(k)]
for k in bad[:10]:
    print(f"{sys.argv[5]}: key {k or '(top)'}: applied {applied.get(k)} wanted {wanted.get(k)}")
values = sum(len(v[1]) for v in wanted.values())
print(f"{sys.argv[5]}: {len(wanted)} keys, {values} values: " + ("DIFFERENT" if bad else "equal"))

COLUMNS = ("change,path,value,old_type,old_form,old_data,new_type,new_form,new_data,subkeys,"
           "values,note").split(",")
TYPES = ["REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
         "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST",
         "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD"]


def from_csv(name, type_name, form, data):
    t = TYPES.index(type_name) if type_name in TYPES else int(type_name)
    if form == "text":
        return name, t, data.encode("utf-16-le") + b"\0\0"
    if form == "number":
        return name, t, int(data).to_bytes(8 if t == 11 else 4, "big" if t == 5 else "little")
    return name, t, bytes.fromhex(data)


new_reg = parse_reg(read_reg(sys.argv[8]))
with open(sys.argv[6], encoding="utf-8", newline="") as f:
    reader = csv.DictReader(f)
    rows = list(reader)
with open(sys.argv[7], encoding="utf-8") as f:
    lines = [json.loads(line) for line in f]
problems = [] if reader.fieldnames == COLUMNS else [f"csv header {reader.fieldnames}"]
problems += [f"csv row of {len(r)} fields" for r in rows if None in r]
if [(r["change"], r["path"], r["value"]) for r in rows] != \
        [(j["change"], j["path"], j.get("value", "")) for j in lines]:
    problems.append("csv and jsonl list other changes")
for r, j in zip(rows, lines):
    if r["change"] not in ("value_added", "value_changed"):
        continue
    want = new_reg.get(r["path"].lower(), ("", {}))[1].get(r["value"].lower(), ())[:3]
    got = from_csv(r["value"], r["new_type"], r["new_form"], r["new_data"])
    from_json = (j["new"]["name"], j["new"]["type"], bytes.fromhex(j["new"]["data"]))
    if not got == from_json == want:
        problems.append(f"{r['path']} {r['value']!r}: csv {got}, jsonl {from_json}, .reg {want}")
for p in problems[:10]:
    print(f"{sys.argv[5]}: {p}")
print(f"{sys.argv[5]}: {len(rows)} changes in csv and jsonl: " + ("WRONG" if problems else "right"))
sys.exit(1 if bad or problems else 0)
PY
done
exit "$failed"
