#!/usr/bin/env bash
# The quick start as the README gives it: scripts/dump-sample prints exactly the committed
# examples/sample.reg (in a UTF-8 locale, as the example was made), and vesk-dump's
# --help and --version answer.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"
LC_ALL=C.UTF-8 scripts/dump-sample | cmp - examples/sample.reg
build/release/tools/vesk-dump/vesk-dump --help | grep -q '^Usage: vesk-dump'
build/release/tools/vesk-dump/vesk-dump --version | grep -q '^vesk-dump [0-9]'
echo "scripts/dump-sample reproduces examples/sample.reg"
