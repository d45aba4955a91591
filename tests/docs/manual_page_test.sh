#!/usr/bin/env bash
# The library's manual page as man(1) shows it at 80 columns: no line wider, no roff
# warning, its sections, and every export of the table named in its synopsis and in
# FUNCTIONS. Usage: manual_page_test.sh PAGE EXPORTS_DEF
set -euo pipefail
page=$1 def=$2
export LC_ALL=C.UTF-8
status=0
fail() { echo "FAIL  $*"; status=1; }

shown=$(MANWIDTH=80 MAN_KEEP_FORMATTING= man -l "$page" 2>&1)
width=$(wc -L <<<"$shown")
[ "$width" -le 80 ] || fail "a line of the page is $width columns wide"
warnings=$(groff -man -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "groff warns: $warnings"
for section in NAME SYNOPSIS DESCRIPTION FUNCTIONS "BAD INPUT" WINDOWS "SEE ALSO"; do
  grep -qx "$section" <<<"$shown" || fail "no section $section"
done
functions=$(sed -n '/^FUNCTIONS$/,/^BAD INPUT$/p' <<<"$shown")
synopsis=$(sed -n '/^SYNOPSIS$/,/^DESCRIPTION$/p' <<<"$shown")
exports=$(sed -n 's/^[[:space:]]\{1,\}\([A-Za-z]\{1,\}\)@[0-9]\{1,\}[[:space:]]\{1,\}@[0-9].*/\1/p' "$def")
[ "$(wc -l <<<"$exports")" -eq 17 ] || fail "$def: not 17 exports read"
for name in $exports; do
  grep -qw "$name" <<<"$functions" || fail "FUNCTIONS does not name $name"
  grep -q "[ *]$name(" <<<"$synopsis" || fail "SYNOPSIS does not declare $name"
done
[ "$status" -eq 0 ] && echo "PASS  $page: 80 columns, no warnings, every export described"
exit "$status"
