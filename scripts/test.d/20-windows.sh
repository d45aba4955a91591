#!/usr/bin/env bash
# The Windows side. The 32-bit vesk_10.dll is built and its export table, stdcall
# clean-up and imports are checked; then the suite and a plain C host are built for
# 64-bit Windows, whose programs run here under wine64, and run against that DLL, which
# is also loaded and unloaded a thousand times. The suite includes the hosts built with
# clang-cl and lld-link (examples/hosts/msvc). Last, the Windows distribution is built
# as its users build it, and its 64-bit DLL walks a hive for such a host.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"
jobs=$(nproc 2>/dev/null || echo 2)

# One Wine prefix for the test runs, made on first use. The C.UTF-8 locale gives Wine
# the ANSI code page 1252 that the code-page tests expect.
export WINEPREFIX=$PWD/build/wine WINEDEBUG=-all LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

timings=()
started=$SECONDS
step() { printf '\n---- %s\n' "$*"; }
took() { timings+=("$(printf '%4ds  %s' $((SECONDS - started)) "$1")"); started=$SECONDS; }

step "i686: vesk_10.dll"
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
  -DVESK_BUILD_TESTS=OFF -DVESK_BUILD_TOOLS=OFF -DVESK_BUILD_BENCH=OFF >/dev/null
cmake --build build/win32 -j "$jobs"
# The host's own stdcall declarations must compile for 32 bits too (it cannot run here).
i686-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Werror -pedantic -static \
  tests/windows/host.c -o build/win32/vesk_windows_host.exe
took "i686 build"

step "i686: export table, argument clean-up and imports"
scripts/check-dll-exports --import-lib build/win32/libvesk_10.dll.a build/win32/vesk_10.dll
# Stripped, as it may be shipped, it must pass as well.
mkdir -p build/win32/stripped
i686-w64-mingw32-strip -o build/win32/stripped/vesk_10.dll build/win32/vesk_10.dll
stripped=$(scripts/check-dll-exports build/win32/stripped/vesk_10.dll) || { echo "$stripped"; exit 1; }
echo "${stripped##*$'\n'}"
took "i686 export check"

# A server that stays for the whole run, started with its services apart from any
# test's output: a service that inherited ctest's pipe would keep ctest waiting. One
# left from an earlier run of this prefix is stopped first.
step "wine: prefix and server"
if [ -d "$WINEPREFIX" ]; then
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w
fi
mkdir -p "$WINEPREFIX"
"$wineserver" -p
trap '"$wineserver" -k || true' EXIT
"$wine" cmd /c exit </dev/null >/dev/null 2>&1
took "wine start"

# Starts that wine64 failed and scripts/wine-run repeated are listed, not hidden; test
# discovery in the build runs the programs as well.
export VESK_WINE_RUN_LOG=$PWD/build/wine-run.log
rm -f "$VESK_WINE_RUN_LOG"

step "x86_64: vesk_10.dll, the suite and the host"
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
  -DVESK_BUILD_TOOLS=OFF -DVESK_BUILD_BENCH=OFF >/dev/null
cmake --build build/win64 -j "$jobs"
took "x86_64 build"

step "x86_64: export table, imports and MinGW's import library"
checked=$(scripts/check-dll-exports --import-lib build/win64/libvesk_10.dll.a build/win64/vesk_10.dll) \
  || { echo "$checked"; exit 1; }
echo "${checked##*$'\n'}"
took "x86_64 export check"

# The load cycles run alone afterwards, so their figures can be shown.
step "x86_64: the suite under wine64"
VESK_REQUIRE_LOCALES=1 ctest --test-dir build/win64 -j "$jobs" --output-on-failure --timeout 120 \
  -E '^WindowsLoadCyclesTest\.'
took "x86_64 suite under wine64"

step "x86_64: a thousand loads and unloads, each with a full walk of dfirmuseum-win7-BCD"
listing=build/win64/load-cycles.txt
if ! timeout 300 scripts/wine-run build/win64/tests/windows/vesk_windows_load_cycles.exe \
       </dev/null >"$listing" 2>&1; then
  cat "$listing"
  exit 1
fi
tr -d '\r' <"$listing" | grep -E '^ +(cycles|[0-9]+) '
took "x86_64 load cycles under wine64"

step "x86_64: a C host walks dfirmuseum-win7-BCD through LoadLibraryA and GetProcAddress"
listing=build/win64/host-dfirmuseum-win7-BCD.txt
status=0
scripts/wine-run build/win64/tests/windows/vesk_windows_host.exe build/win64/vesk_10.dll \
  tests/data/hives/dfirmuseum-win7-BCD </dev/null >"$listing" 2>&1 || status=$?
tr -d '\r' <"$listing" | grep -E '^(export|PROBLEM)' || true
tr -d '\r' <"$listing" | grep -m 3 '^  value' || true
summary=$(tr -d '\r' <"$listing" | tail -n 1)
echo "$summary"
# 66 keys and 46 values as three independent readers count them (tests/data/hives);
# 1805 bytes is the sum of the values' data sizes as the file records them.
expected="17 exports by name and ordinal; 66 keys, 46 values, 1805 data bytes; 0 problems"
if [ "$status" -ne 0 ] || [ "$summary" != "$expected" ]; then
  echo "host: exit $status; expected the summary: $expected (listing in $listing)"
  exit 1
fi
took "x86_64 host under wine64"
if [ -s "$VESK_WINE_RUN_LOG" ]; then cat "$VESK_WINE_RUN_LOG"; else echo "wine64 started every program at once"; fi

step "the Windows distribution: cmake -P cmake/windows-dist.cmake"
dist=$PWD/build/windows-dist
cmake -DOUTPUT="$dist" -P cmake/windows-dist.cmake | grep -E '\.zip: '
for zip in "$dist"/vesk_10-*-win32.zip "$dist"/vesk_10-*-win64.zip; do
  unzip -Z1 "$zip" | sort | tr '\n' ' '
  echo
done
# The host Microsoft's tools built, beside the distribution's stripped 64-bit DLL.
rm -rf "$dist/host" && mkdir "$dist/host"
cp "$dist"/vesk_10-*-win64/vesk_10.dll build/win64/examples/hosts/msvc/x86_64/vesk_msvc_host.exe \
  "$dist/host/"
summary=$(scripts/wine-run "$dist/host/vesk_msvc_host.exe" tests/data/hives/dfirmuseum-win7-BCD \
  </dev/null | tr -d '\r' | tail -n 1)
echo "distribution's DLL: $summary"
[ "$summary" = "66 keys, 46 values" ] || { echo "expected: 66 keys, 46 values"; exit 1; }
took "Windows distribution"

step "Windows timings"
printf '%s\n' "${timings[@]}"
