#!/usr/bin/env bash
# The Debian packages from cmake/debian/build-debs: lintian finds no error and no
# warning on any; each holds what its name promises; installed with dpkg -i (as root, on a
# machine of the test's own) vesk-dump dumps the sample, a program builds with
# find_package(vesk) and with pkg-config vesk and runs, Debian's python3 imports vesk; and
# after dpkg -r nothing of them is left.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"
root=$PWD
hive=$root/tests/data/hives/dfirmuseum-win7-BCD
totals="66 keys, 46 values"
packages=(libvesk-10-1 libvesk-10-dev vesk-dump python3-vesk)
work=$(mktemp -d)
installed=
cleanup() {
  if [ -n "$installed" ]; then dpkg -r "${packages[@]}" >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

pass() { printf 'PASS  %s\n' "$*"; }
skip() { printf 'SKIP  %s\n' "$*"; }
fail() { printf 'FAIL  %s\n' "$*" >&2; exit 1; }

if ! command -v dpkg-deb >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
  skip "debian: dpkg-deb or dpkg-shlibdeps is missing (apt-get install dpkg-dev)"
  exit 0
fi
mapfile -t debs < <(cmake/debian/build-debs "$root/build/deb" "$work/debs")
[ "${#debs[@]}" = 4 ] || fail "debian: build-debs made ${#debs[@]} packages, not 4"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
lib=usr/lib/$multiarch

# What each package must hold (one path a line, \. for a literal dot).
declare -A holds=(
  [libvesk-10-1]="$lib/libvesk_10\.so\.1 $lib/libvesk_10\.so\.1\.[0-9.]*
    $lib/libvesk_logs\.so\.1 $lib/libvesk_logs\.so\.1\.[0-9.]*"
  [libvesk-10-dev]="$lib/libvesk_10\.so usr/include/vesk_10\.h usr/include/vesk/hive\.hpp
    $lib/libvesk_logs\.so usr/include/vesk_logs\.h
    $lib/pkgconfig/vesk\.pc $lib/pkgconfig/vesk_10\.pc $lib/cmake/vesk/veskConfig\.cmake
    $lib/cmake/vesk_10/vesk_10Config\.cmake"
  [vesk-dump]="usr/bin/vesk-dump usr/share/man/man1/vesk-dump\.1\.gz"
  [python3-vesk]="usr/lib/python3/dist-packages/vesk/__init__\.py
    usr/lib/python3/dist-packages/vesk/py\.typed"
)
for deb in "${debs[@]}"; do
  package=$(dpkg-deb -f "$deb" Package)
  dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/$package.list"
  for path in ${holds[$package]} usr/share/doc/$package/copyright \
      usr/share/doc/$package/changelog\.Debian\.gz; do
    grep -qx "$path" "$work/$package.list" || fail "debian: $package holds no $path"
  done
  if grep -E '^usr/share/man/.*\.[0-9]$|__pycache__|\.pyc$' "$work/$package.list"; then
    fail "debian: $package holds an uncompressed manual page or compiled Python"
  fi
  dpkg-deb -e "$deb" "$work/$package.control"
  pass "debian: $(basename "$deb"): $(grep -c '[^/]$' "$work/$package.list") files;" \
    "Depends: $(dpkg-deb -f "$deb" Depends)"
done
[ -e "$root/cmake/vesk_10.3.in" ] && { grep -qx "usr/share/man/man3/vesk_10\.3\.gz" \
  "$work/libvesk-10-dev.list" || fail "debian: libvesk-10-dev holds no vesk_10.3.gz"; }
[ "$(cat "$work/libvesk-10-1.control/triggers")" = "activate-noawait ldconfig" ] \
  || fail "debian: libvesk-10-1 has no ldconfig trigger"
# Per library: the lines below its soname's, up to the next soname.
exports_of() { awk -v so="$1" '/^[^ *]/ {on = $1 == so} on && /^ [A-Za-z_]*@Base / {n++}
  END {print n + 0}' "$work/libvesk-10-1.control/symbols"; }
exports=$(exports_of libvesk_10.so.1)
[ "$exports" = 17 ] || fail "debian: the symbols file lists $exports exports of libvesk_10, not 17"
companion=$(exports_of libvesk_logs.so.1)
[ "$companion" = 8 ] || fail "debian: the symbols file lists $companion exports of libvesk_logs, not 8"
grep -qx "libvesk_logs 1 libvesk-10-1 (>= [0-9.]*)" "$work/libvesk-10-1.control/shlibs" \
  || fail "debian: the shlibs file has no line for libvesk_logs"
pass "debian: libvesk-10-1 triggers ldconfig and its symbols file lists the 17 exports" \
  "of libvesk_10 and the $companion of its companion libvesk_logs"

if command -v lintian >/dev/null; then
  # An error or warning is a line starting E: or W:; the rest is listed, not judged.
  lintian --display-info --pedantic "${debs[@]}" 2>&1 | grep -v 'privileges' >"$work/lintian" \
    || true
  if grep -E '^(E|W):' "$work/lintian"; then fail "debian: lintian reports the lines above"; fi
  pass "debian: lintian reports no error and no warning;" \
    "$(grep -c '^[IP]:' "$work/lintian") informational: $(awk '/^[IP]:/ {print $3}' \
      "$work/lintian" | sort -u | tr '\n' ' ')"
else
  skip "debian: lintian is not installed (apt-get install lintian), the packages go unjudged"
fi

# Installing, using and removing them needs root and a machine that has none of them.
if [ "$(id -u)" != 0 ]; then
  skip "debian: not root, so the packages are not installed"
  exit 0
fi
for package in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
    skip "debian: $package is installed already; this machine's packages are left alone"
    exit 0
  fi
done
# The folders the packages bring: dpkg -r must take them away again.
new_dirs=()
for package in "${packages[@]}"; do
  while read -r path; do
    if [ "${path: -1}" = / ] && [ ! -e "/$path" ]; then new_dirs+=("/$path"); fi
  done <"$work/$package.list"
done
installed=yes
dpkg -i "${debs[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -i"; }
pass "debian: dpkg -i installs the four packages"
clean() { env -u LD_LIBRARY_PATH -u PKG_CONFIG_PATH -u CMAKE_PREFIX_PATH -u PYTHONPATH \
  -u VESK_LIBRARY "$@"; }

clean /usr/bin/vesk-dump --format json "$root/examples/sample.hiv" >"$work/sample.json" \
  || fail "debian: vesk-dump on the sample"
cmp -s "$work/sample.json" "$root/examples/sample.json" \
  || fail "debian: the installed vesk-dump's JSON is not examples/sample.json"
/usr/bin/python3 -c 'import json, sys; json.load(open(sys.argv[1]))' "$work/sample.json" \
  || fail "debian: the sample's JSON does not parse"
pass "debian: the installed vesk-dump writes examples/sample.json, which Python's json reads"

mkdir -p "$work/consumer"
cat >"$work/consumer/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(vesk_consumer CXX)
find_package(vesk 1.0 CONFIG REQUIRED)
add_executable(use_cpp "$root/examples/use.cpp")
target_compile_features(use_cpp PRIVATE cxx_std_17)
target_link_libraries(use_cpp PRIVATE vesk::vesk)
CMAKE
clean cmake -S "$work/consumer" -B "$work/consumer/build" >/dev/null
clean cmake --build "$work/consumer/build" >/dev/null
found=$(sed -n 's/^vesk_DIR:PATH=//p' "$work/consumer/build/CMakeCache.txt")
[ "$found" = "/$lib/cmake/vesk" ] || fail "debian: find_package(vesk) found $found"
# shellcheck disable=SC2046  # pkg-config's words are separate arguments
clean c++ -std=c++17 -o "$work/use_pc" "$root/examples/use.cpp" \
  $(clean pkg-config --cflags --libs vesk)
for program in "$work/consumer/build/use_cpp" "$work/use_pc"; do
  last=$(clean "$program" "$hive" | tail -n 1)
  [ "$last" = "$totals" ] || fail "debian: $program ends \"$last\""
done
pass "debian: programs built with find_package(vesk) and with pkg-config vesk run," \
  "ending \"$totals\""

out=$(cd / && clean /usr/bin/python3 -E -c 'import vesk
print(vesk.__file__, vesk.library()._name)')
[ "$out" = "/usr/lib/python3/dist-packages/vesk/__init__.py libvesk_10.so.1" ] \
  || fail "debian: python3 imports vesk as: $out"
last=$(cd / && clean /usr/bin/python3 -E "$root/examples/use.py" "$hive" | tail -n 1)
[ "$last" = "$totals" ] || fail "debian: examples/use.py ends \"$last\""
pass "debian: /usr/bin/python3 imports vesk from the package, the library by its soname"
dirty=$root/tests/data/logs/NewDirtyHive1/NewDirtyHive
out=$(cd / && clean /usr/bin/python3 -E -W ignore -c 'import sys, vesk
with vesk.Hive(sys.argv[1], logs=True) as hive:
    print(sum(1 for _ in hive.walk()), hive.recovery.outcome, vesk._logs.companion()._name)' \
  "$dirty") || fail "debian: python3 reads a dirty hive with logs=True"
[ "$out" = "5 recovered libvesk_logs.so.1" ] || fail "debian: logs=True gives: $out"
pass "debian: python3 reads a dirty hive with its logs applied, the companion by its soname"

dpkg -r "${packages[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -r"; }
installed=
left=
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ -z "$status" ] || [ "$status" = not-installed ] || left+=" $package ($status)"
  while read -r path; do
    [ -n "$path" ] && [ "${path: -1}" != / ] && { [ -e "/$path" ] || [ -L "/$path" ]; } \
      && left+=" /$path"
  done <"$work/$package.list"
done
for dir in "${new_dirs[@]}"; do [ -e "$dir" ] && left+=" $dir"; done
[ -z "$left" ] || fail "debian: after dpkg -r there is left:$left"
ldconfig -p | grep -q libvesk_10 && fail "debian: ldconfig still knows libvesk_10"
pass "debian: dpkg -r removes the four packages; no file or folder of theirs is left" \
  "(${#new_dirs[@]} folders), nor the library in ldconfig's cache"
