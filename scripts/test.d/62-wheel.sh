#!/usr/bin/env bash
# The Python wheel: built offline from python/ (setuptools and build from Debian), installed
# into a fresh virtual environment, where it walks a real hive through the library built in
# build/release, and a dirty one with its logs through the companion libvesk_logs; mypy
# --strict passes on a user script that walks a hive and reads typed values, against the
# installed wheel, and on the package itself.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"
root=$PWD
build=$root/build/release
python=/usr/bin/python3  # Debian's, with python3-build, python3-setuptools and python3-venv
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

pass() { printf 'PASS  %s\n' "$*"; }
skip() { printf 'SKIP  %s\n' "$*"; }
fail() { printf 'FAIL  %s\n' "$*" >&2; exit 1; }

for module in build setuptools venv ensurepip; do
  if ! "$python" -c "import $module" 2>/dev/null; then
    skip "wheel: $python has no $module (apt-get install python3-build python3-setuptools" \
      "python3-venv)"
    exit 0
  fi
done
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target vesk_10 vesk_logs >/dev/null
library=$(ls "$build"/libvesk_10.so.[0-9]*.* | head -n 1)
companion=$(ls "$build"/libvesk_logs.so.[0-9]*.* | head -n 1)

# A copy, so the build leaves nothing in the checkout.
cp -r python "$work/src"
rm -rf "$work/src/build" "$work/src"/*.egg-info
(cd "$work/src" && "$python" -m build --no-isolation --wheel --outdir "$work/dist") \
  >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; fail "wheel: python3 -m build"; }
wheel=$(ls "$work"/dist/vesk-*-py3-none-any.whl)
listed=$(unzip -Z1 "$wheel" | grep '^vesk/' | sort | tr '\n' ' ')
expected="vesk/__init__.py vesk/_logs.py vesk/_native.py vesk/checks.py vesk/decoding.py vesk/errors.py vesk/model.py vesk/private_view.py"
[ "$listed" = "$expected vesk/py.typed " ] \
  || fail "wheel: holds $listed"
pass "wheel: $(basename "$wheel") built offline, holding $listed"

"$python" -m venv "$work/venv"
"$work/venv/bin/python" -m pip install --no-index --no-deps --quiet "$wheel" \
  || fail "wheel: pip install into the virtual environment"
out=$(cd "$work" && VESK_LIBRARY=$library "$work/venv/bin/python" -I "$root/python/walk_typed.py" \
  "$root/tests/data/hives/dfwinreg-NTUSER.DAT") || fail "wheel: the walk in the venv"
case $out in
  "1597 keys, "*"270 unnamed, 0 unreadable names") ;;
  *) fail "wheel: the walk of dfwinreg-NTUSER.DAT gives: $out" ;;
esac
where=$(cd "$work" && VESK_LIBRARY=$library "$work/venv/bin/python" -I -c \
  'import vesk; print(vesk.__file__)')
[[ $where == "$work/venv/lib/"*"/site-packages/vesk/__init__.py" ]] \
  || fail "wheel: the venv imports vesk from $where"
pass "wheel: from a fresh venv, vesk ($where) walks dfwinreg-NTUSER.DAT: $out"
out=$(cd "$work" && VESK_LIBRARY=$library VESK_LOGS_LIBRARY=$companion \
  "$work/venv/bin/python" -I -W ignore -c 'import sys, vesk
with vesk.Hive(sys.argv[1], logs=True) as hive:
    print(sum(1 for _ in hive.walk()), hive.recovery.outcome)' \
  "$root/tests/data/logs/NewDirtyHive1/NewDirtyHive") || fail "wheel: logs=True in the venv"
[ "$out" = "5 recovered" ] || fail "wheel: logs=True on NewDirtyHive1 gives: $out"
pass "wheel: from the venv, logs=True reads NewDirtyHive1 with its logs applied: $out"

if ! "$python" -m mypy --version >/dev/null 2>&1; then
  skip "mypy: not installed (apt-get install python3-mypy)"
  exit 0
fi
# Away from python/, whose vesk/ mypy would otherwise find beside the script.
mkdir "$work/user"
cp python/walk_typed.py "$work/user/"
(cd "$work/user" && "$python" -m mypy --strict --no-incremental --cache-dir=/dev/null \
  --python-executable "$work/venv/bin/python" walk_typed.py) \
  || fail "mypy --strict on python/walk_typed.py against the installed wheel"
(cd "$root/python" && "$python" -m mypy --strict --no-incremental --cache-dir=/dev/null vesk) \
  || fail "mypy --strict on the package"
pass "mypy --strict: the user script against the installed wheel, and the package itself"
