#!/usr/bin/env bash
# A real client for vesk-dump's .reg files: each lf-only 1.3 hive in tests/data/hives and
# the sample (also a copy with names holding control characters) is dumped as .reg
# (UTF-16LE) and as REGEDIT4 (code pages 1252 and 1251), imported into a fresh Wine prefix with `regedit /S`, exported again with `regedit /E`,
# and every value compared with what the library reads (type and bytes);
# regedit_import.py does the comparing.
# VESK_DUMP_REG names another vesk-dump for the .reg files (then only its default format,
# every value counted as written), to measure an earlier build the same way.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"
root=$PWD
dump=$root/build/release/tools/vesk-dump/vesk-dump
cmake --build build/release -j2 --target vesk-dump >/dev/null

hives=${VESK_TEST_HIVES:-$root/tests/data/hives}
inputs=("$root/examples/sample.hiv")
for name in dfwinreg-NTUSER.DAT dfirmuseum-win7-BCD python-registry-UNICODE_TESTS; do
  if [ -f "$hives/$name" ]; then inputs+=("$hives/$name"); else echo "skipped $name: not in $hives"; fi
done

# C.UTF-8 gives Wine the ANSI code page 1252, REGEDIT4's default.
work=$root/build/regedit-import
rm -rf "$work"
mkdir -p "$work"
# Names with control characters other than CR, LF and NUL, which a .reg line carries and
# regedit imports: the sample with keys named with U+009F and with ESC, a value with BEL
# (each replacing a letter past the first four, so the lists' name hints still hold).
controls=$work/sample-controls.hiv
python3 - "$root/examples/sample.hiv" "$controls" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
for old, new in ((b"ShellNew", b"Shell\x9few"), (b"Settings", b"Sett\x1bngs"),
                 (b"PerceivedType", b"Perceived\x07ype")):
    assert data.count(old) == 1, old
    data = data.replace(old, new)
open(sys.argv[2], "wb").write(data)
PY
inputs+=("$controls")
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
# Wine takes its ANSI code page from the locale's name (1251 from a Russian one) whether
# or not the system has that locale; bash, which has not, warns, and is quietened.
wine_locale=C.UTF-8
wine_run() {
  LC_ALL=$wine_locale "$root/scripts/wine-run" "$@" 2> >(grep -v "setlocale: LC_ALL" >&2)
}

# One import: the hive as FORMAT (a vesk-dump format, or "regedit4-1251"), checked.
import_one() {
  local hive=$1 name=$2 format=$3 run=$3 options=()
  wine_locale=C.UTF-8
  if [ "$format" = regedit4-1251 ]; then
    format=regedit4
    options=(--code-page 1251)
    wine_locale=ru_RU.UTF-8
  fi
  local key="HKEY_CURRENT_USER\\Software\\vesk-import\\$name-$run"
  local given=$work/$name.$run.reg export=$work/$name.$run.export.reg
  "${VESK_DUMP_REG:-$dump}" --format "$format" "${options[@]}" --prefix "$key" "$hive" \
    >"$given" 2>/dev/null || [ $? -eq 1 ]
  wine_run regedit /S "$given"
  wine_run regedit /E "$export" "$key"
  "$wineserver" -w  # the prefix's registry file is written when the server ends
  python3 "$root/scripts/test.d/regedit_import.py" "$work/$name.json" "$given" "$export" \
    "$WINEPREFIX/user.reg" "$key" "$name ($run)" "${extra[@]}" \
    ${options[1]:+--code-page=${options[1]}} || failed=1
}

for hive in "${inputs[@]}"; do
  name=$(basename "$hive")
  "$dump" --format json "$hive" >"$work/$name.json" 2>/dev/null || [ $? -eq 1 ]
  for format in "${formats[@]}"; do import_one "$hive" "$name" "$format"; done
done
# REGEDIT4 in another code page.
if [ -z "${VESK_DUMP_REG:-}" ]; then
  for hive in "${inputs[@]}"; do import_one "$hive" "$(basename "$hive")" regedit4-1251; done
fi
exit "$failed"
