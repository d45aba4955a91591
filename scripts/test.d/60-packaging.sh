#!/usr/bin/env bash
# Packaging: install into a temporary prefix and build the C and C++ examples against it
# with find_package (vesk_10 and vesk) and with pkg-config; run them and the Python example
# on a real hive; run the Python tests against the installed package; check that Debian's
# python3 imports the package installed below /usr/local and /usr without PYTHONPATH; make
# the four Debian packages, hold them to lintian, install them with dpkg, use them as a
# program, a build and Python would, and remove them; build the Python wheel offline, walk
# a hive with it from a fresh virtual environment, and type-check a user script and the
# package with mypy --strict; check that the README's copies of the examples are the
# files the tests ran.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"
root=$PWD
build=$root/build/release
hive=$root/tests/data/hives/dfirmuseum-win7-BCD
totals="66 keys, 46 values"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

pass() { printf 'PASS  %s\n' "$*"; }
skip() { printf 'SKIP  %s\n' "$*"; }
fail() { printf 'FAIL  %s\n' "$*" >&2; exit 1; }
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
version=$(cached CMAKE_PROJECT_VERSION)
soname=libvesk_10.so.${version%%.*}
libdir=$(cached CMAKE_INSTALL_LIBDIR)
system_python=/usr/bin/python3  # Debian's, whatever python3 comes first on the PATH

# Where an installed tree below prefix $1 holds the package vesk/, relative to the prefix.
python_dir() {
  local found
  found=$(cd "$1" && find . -path '*/vesk/__init__.py' -printf '%h\n' | sed 's|/vesk$||')
  [ "$(wc -l <<<"$found")" = 1 ] && [ -n "$found" ] || fail "$1: not one vesk/: $found"
  printf '%s\n' "${found#./}"
}

# The files every installed tree holds below its prefix; vesk-dump's only when built.
expected_files() {
  printf '%s\n' "$libdir/libvesk_10.so.$version" "$libdir/$soname" "$libdir/libvesk_10.so" \
    include/vesk_10.h include/vesk/hive.hpp "$libdir/pkgconfig/vesk_10.pc" \
    "$libdir/pkgconfig/vesk.pc" "$libdir/cmake/vesk/veskConfig.cmake" \
    "$libdir/cmake/vesk/veskConfigVersion.cmake"
  printf "$libdir/cmake/vesk_10/%s\n" vesk_10Config.cmake vesk_10ConfigVersion.cmake \
    vesk_10Targets.cmake
  if [ -n "$dump" ]; then printf '%s\n' bin/vesk-dump share/man/man1/vesk-dump.1; fi
}
check_files() {  # prefix, what
  local f
  while read -r f; do
    [ -e "$1/$f" ] || [ -L "$1/$f" ] || fail "$2: $f is missing"
  done < <(expected_files)
  [ -L "$1/$libdir/libvesk_10.so" ] || fail "$2: libvesk_10.so is not a link"
  # Whole outputs into grep: with pipefail, grep -q quitting early would fail the pipe.
  grep -qF "Library soname: [$soname]" <<<"$(readelf -d "$1/$libdir/libvesk_10.so.$version")" \
    || fail "$2: the library's soname is not $soname"
}

# The C and C++ programs and the Python example must print the same listing, ending in
# the totals.
check_examples() {  # what, C program, C++ program, environment for Python...
  local what=$1 c=$2 cpp=$3 last
  shift 3
  "$c" "$hive" >"$work/out.c" || fail "$what: C example"
  "$cpp" "$hive" >"$work/out.cpp" || fail "$what: C++ example"
  env "$@" python3 "$root/examples/use.py" "$hive" >"$work/out.py" || fail "$what: Python example"
  cmp -s "$work/out.c" "$work/out.cpp" || fail "$what: C and C++ examples differ"
  cmp -s "$work/out.c" "$work/out.py" || fail "$what: C and Python examples differ"
  last=$(tail -n 1 "$work/out.c")
  [ "$last" = "$totals" ] || fail "$what: the examples end \"$last\""
  pass "$what: C, C++ and Python examples print the same $(wc -l <"$work/out.c") lines," \
    "ending \"$totals\""
}

# 1. cmake --install into a temporary prefix.
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
dump=
[ -e "$prefix/bin/vesk-dump" ] && dump=$prefix/bin/vesk-dump
check_files "$prefix" "install"
pydir=$(python_dir "$prefix")
pass "install: library with soname $soname, headers, CMake packages, vesk_10.pc and" \
  "vesk.pc, Python package${dump:+, vesk-dump and its manual page}"
pyversion=$(PYTHONPATH="$prefix/$pydir" python3 -c 'import vesk; print(vesk.__version__)')
[ "$pyversion" = "$version" ] || fail "install: vesk.__version__ is $pyversion, not $version"
pass "install: vesk.__version__ is the project's version, $version"
if [ -n "$dump" ]; then
  out=$(env -u LD_LIBRARY_PATH "$dump" --version) || fail "install: vesk-dump --version"
  pass "install: vesk-dump --version runs from the prefix by its own run path: $out"
  if command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$prefix/share/man/man1/vesk-dump.1" 2>&1)
    [ -z "$warnings" ] || fail "manual page: groff warns: $warnings"
    pass "manual page: renders without warnings"
  else
    skip "manual page: groff is not installed, not rendered"
  fi
else
  skip "install: vesk-dump is not built, so neither it nor its manual page is checked"
fi

# 1b. Below /usr/local and /usr (here into a DESTDIR), vesk/ goes where Debian's python3
# looks: python3 -c 'import vesk' then works with no PYTHONPATH.
if [ -x "$system_python" ]; then
  for system_prefix in /usr/local /usr; do
    stage=$work/stage$system_prefix
    DESTDIR=$stage cmake --install "$build" --prefix "$system_prefix" >/dev/null
    folder=$system_prefix/$(python_dir "$stage$system_prefix")
    "$system_python" -E -c 'import sys; sys.exit(sys.argv[1] not in sys.path)' "$folder" \
      || fail "install to $system_prefix: $system_python does not look in $folder"
    pass "install to $system_prefix: vesk/ goes to $folder, where $system_python looks"
  done
else
  skip "install: no $system_python to ask where it looks"
fi

# 2. The examples built against the prefix with find_package.
cmake -S examples -B "$work/find_package" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/find_package" >/dev/null
found=$(sed -n 's/^vesk_10_DIR:PATH=//p' "$work/find_package/CMakeCache.txt")
[ "$found" = "$prefix/$libdir/cmake/vesk_10" ] || fail "find_package: found $found"
check_examples "find_package" "$work/find_package/use_c" "$work/find_package/use_cpp" \
  PYTHONPATH="$prefix/$pydir"

# 2b. A project of its own that finds the package by the project's name: find_package(vesk)
# and vesk::vesk; and the same program built with pkg-config vesk.
alias_project() {  # folder
  mkdir -p "$1"
  cat >"$1/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(vesk_alias CXX)
find_package(vesk 1.0 CONFIG REQUIRED)
add_executable(use_cpp "$root/examples/use.cpp")
target_compile_features(use_cpp PRIVATE cxx_std_17)
target_link_libraries(use_cpp PRIVATE vesk::vesk)
CMAKE
}
check_totals() {  # what, program; the program must end with the totals
  local last
  last=$("$2" "$hive" | tail -n 1) || fail "$1: the program failed"
  [ "$last" = "$totals" ] || fail "$1: the program ends \"$last\""
  pass "$1: the program lists the hive, ending \"$totals\""
}
alias_project "$work/alias"
cmake -S "$work/alias" -B "$work/alias/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/alias/build" >/dev/null
check_totals "find_package(vesk), vesk::vesk" "$work/alias/build/use_cpp"
c++ -std=c++17 -o "$work/alias/use_pc" "$root/examples/use.cpp" \
  $(PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig pkg-config --cflags --libs vesk)
LD_LIBRARY_PATH="$prefix/$libdir" check_totals "pkg-config vesk" "$work/alias/use_pc"

# 3. The same examples built with pkg-config.
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
[ "$(pkg-config --modversion vesk_10)" = "$version" ] || fail "pkg-config: wrong version"
mkdir "$work/pkg-config"
(cd "$work/pkg-config" && sh "$root/examples/pkg-config.sh")
LD_LIBRARY_PATH="$prefix/$libdir" check_examples "pkg-config" "$work/pkg-config/use_c" \
  "$work/pkg-config/use_cpp" PYTHONPATH="$prefix/$pydir"

# 4. The Python tests against the installed module, which finds its library itself.
PYTHONPATH="$prefix/$pydir:$root/python" PYTHONDONTWRITEBYTECODE=1 \
  VESK_INCLUDE_DIR="$prefix/include" VESK_DUMP="$dump" \
  env -u VESK_LIBRARY python3 -m unittest -v test_vesk 2>"$work/python.log" \
  || { cat "$work/python.log" >&2; fail "Python tests"; }
grep -E '\.\.\. |vesk module|^Ran|^OK' "$work/python.log"
grep -qF "vesk module $prefix/$pydir/vesk/__init__.py, library $prefix/" "$work/python.log" \
  || fail "Python tests: did not use the installed module and library"
pass "Python tests on the installed module: $(grep '^Ran' "$work/python.log")"

# 5. The Debian packages and the wheel are checked by 61-debian.sh and 62-wheel.sh.

# 6. The README's copies of the examples: a block after "<!-- quote: FILE -->" is FILE.
python3 - "$root" <<'PY' || fail "README: a quoted example differs from its file"
import os, re, sys
root = sys.argv[1]
with open(os.path.join(root, "README.md")) as f:
    readme = f.read()
quotes = re.findall(r"<!-- quote: (\S+) -->\s*```[^\n]*\n(.*?)^```", readme, re.S | re.M)
for path, block in quotes:
    with open(os.path.join(root, path)) as f:
        if f.read() != block:
            sys.exit("FAIL  README: the block quoting %s differs from the file" % path)
print(("PASS  README: %d quoted examples match their files (%s)"
       % (len(quotes), ", ".join(p for p, _ in quotes))) if quotes
      else "SKIP  README: no <!-- quote: FILE --> blocks")
PY
