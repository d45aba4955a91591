#!/usr/bin/env bash
# The commands of README.md and examples/README.md, run as written from the top of the
# checkout, after scripts/test has built build/release:
#  - a ```sh block runs as one bash script (set -euo pipefail);
#  - a ```console block runs each "$ " line and compares what it prints with the lines
#    shown beneath it; a last line "..." marks output shortened there, compared up to it;
#  - a block whose first line is a comment saying "not run by the tests" is skipped
#    (installing packages, writing to /usr/local, the whole test run itself).
# The commands may make files in the checkout but must change no tracked file; what they
# made is removed afterwards.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"

before=$(mktemp)
trap 'rm -f "$before"' EXIT
git ls-files --others --exclude-standard | sort >"$before"
changes=$(git diff | sha1sum)

status=0
python3 - README.md examples/README.md <<'PY' || status=$?
import re, subprocess, sys

FENCE = re.compile(r"^```(sh|console)[^\n]*\n(.*?)^```", re.S | re.M)
failures = ran = skipped = 0

def run(script):
    return subprocess.run(["bash", "-euo", "pipefail", "-c", script], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, errors="replace")

for readme in sys.argv[1:]:
    text = open(readme, encoding="utf-8").read()
    for match in FENCE.finditer(text):
        kind, block = match.groups()
        line = text.count("\n", 0, match.start()) + 1
        where = "%s:%d" % (readme, line)
        first = block.split("\n", 1)[0]
        if first.startswith("#") and "not run by the tests" in first:
            skipped += 1
            continue
        ran += 1
        if kind == "sh":
            done = run(block)
            if done.returncode != 0:
                failures += 1
                print("FAIL  %s: exit %d\n%s" % (where, done.returncode, done.stdout))
            continue
        # console: "$ command" lines, each followed by the output it prints.
        steps = []
        for row in block.rstrip("\n").split("\n"):
            if row.startswith("$ "):
                steps.append([row[2:], []])
            elif steps:
                steps[-1][1].append(row)
        for command, shown in steps:
            done = run(command)
            printed = done.stdout.rstrip("\n").split("\n") if done.stdout else []
            if shown and shown[-1] == "...":
                shown, printed = shown[:-1], printed[:len(shown) - 1]
            if done.returncode != 0 or printed != shown:
                failures += 1
                print("FAIL  %s: $ %s (exit %d) printed:\n%s" %
                      (where, command, done.returncode, "\n".join(printed)))
print("%s  %d command blocks of %s ran as written; %d marked not run"
      % ("FAIL" if failures else "PASS", ran - failures if failures else ran,
         " and ".join(sys.argv[1:]), skipped))
sys.exit(1 if failures else 0)
PY

# No tracked file changed; the files the commands made go again.
if [ "$(git diff | sha1sum)" != "$changes" ]; then
  echo "FAIL  the README's commands changed tracked files:"
  git diff --stat
  status=1
fi
git ls-files --others --exclude-standard | sort | comm -13 "$before" - | while read -r made; do
  rm -f -- "$made"
done
exit "$status"
