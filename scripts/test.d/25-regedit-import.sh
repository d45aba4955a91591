#!/usr/bin/env bash
# A real client for vesk-dump's .reg files: each lf-only 1.3 hive in tests/data/hives and
# the sample is dumped as .reg (UTF-16LE) and as REGEDIT4, imported into a fresh Wine
# prefix with `regedit /S`, exported again with `regedit /E`, and every value compared
# with what the library reads (type and bytes); regedit_import.py does the comparing.
# VESK_DUMP_REG names another vesk-dump for the .reg files (then only its default format,
# every value counted as written), to measure an earlier build the same way.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"
root=$PWD
dump=$root/build/release/tools/vesk-dump/vesk-dump
cmake --build build/release -j2 --target vesk-dump >/dev/null

hives=${VESK_TEST_HIVES:-$root/tests/data/hives}
[ -d "$hives" ] || hives=$root/../shared/hives
inputs=("$root/examples/sample.hiv")
for name in dfwinreg-NTUSER.DAT dfirmuseum-win7-BCD python-registry-UNICODE_TESTS; do
  if [ -f "$hives/$name" ]; then inputs+=("$hives/$name"); else echo "skipped $name: not in $hives"; fi
done

# C.UTF-8 gives Wine the ANSI code page 1252, REGEDIT4's default.
work=$root/build/regedit-import
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEDEBUG=-all LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
"$wine" wineboot -i >/dev/null 2>&1 || true
"$wineserver" -w

formats=(reg regedit4)
extra=()
if [ -n "${VESK_DUMP_REG:-}" ]; then
  formats=(reg)
  extra=(--all-written)
fi

failed=0
for hive in "${inputs[@]}"; do
  name=$(basename "$hive")
  "$dump" --format json "$hive" >"$work/$name.json" 2>/dev/null || [ $? -eq 1 ]
  for format in "${formats[@]}"; do
    key="HKEY_CURRENT_USER\\Software\\vesk-import\\$name-$format"
    given=$work/$name.$format.reg
    "${VESK_DUMP_REG:-$dump}" --format "$format" --prefix "$key" "$hive" >"$given" 2>/dev/null ||
      [ $? -eq 1 ]
    "$root/scripts/wine-run" regedit /S "$given"
    "$root/scripts/wine-run" regedit /E "$work/$name.$format.export.reg" "$key"
    "$wineserver" -w  # the prefix's registry file is written when the server ends
    python3 "$root/scripts/test.d/regedit_import.py" "$work/$name.json" "$given" \
      "$work/$name.$format.export.reg" "$WINEPREFIX/user.reg" "$key" "$name ($format)" \
      "${extra[@]}" || failed=1
  done
done
exit "$failed"
