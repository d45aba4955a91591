#!/usr/bin/python3
"""vesk-dump's line formats read back by the programs a pipe would use: Python's csv and
json for csv and jsonl, compared value by value (path, name, type, bytes, key time) with
libhivex's walk of the same hive; Sleuth Kit's mactime for the body file, which must list
every key. Then --grep/--type against the same search done over hivex's walk, and three
hives in one run. Usage: line_formats_test.py VESK_DUMP HIVE..."""
import csv
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile

try:
    import hivex
except ImportError:
    print("python3-hivex is not installed: skipped")
    sys.exit(77)

TYPES = ["REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
         "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST",
         "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD"]
STRING_TYPES = (1, 2, 6)
failures = []
checks = [0]


def check(ok, what):
    checks[0] += 1
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(vesk_dump, *args):
    p = subprocess.run([vesk_dump, *args], capture_output=True, env=dict(os.environ, LC_ALL="C"))
    return p.returncode, p.stdout.decode("utf-8")


def hivex_walk(path):
    """{path: (filetime, [(name, type, bytes)])} in walk order, and the keys' own names."""
    h = hivex.Hivex(path)
    keys, names = {}, {}
    stack = [(h.root(), h.node_name(h.root()))]
    while stack:
        node, p = stack.pop()
        values = []
        for v in h.node_values(node):
            t, data = h.value_value(v)
            values.append((h.value_key(v), t, data))
        keys[p] = (h.node_timestamp(node), values)
        names[p] = h.node_name(node)
        stack.extend((c, p + "\\" + h.node_name(c)) for c in reversed(h.node_children(node)))
    return keys, names


def filetime_of(iso):
    # "YYYY-MM-DDThh:mm:ss.fffffffZ": seconds from Python, the seven digits of ticks kept.
    from datetime import datetime, timezone
    whole = datetime.strptime(iso[:19], "%Y-%m-%dT%H:%M:%S").replace(tzinfo=timezone.utc)
    return (int(whole.timestamp()) + 11644473600) * 10000000 + int(iso[20:27])


def bytes_of_csv(t, form, data):
    if form == "hex":
        return bytes.fromhex(data)
    if form == "text":
        return data.encode("utf-16-le") + b"\0\0"
    if form == "number":
        n = int(data)
        return n.to_bytes(8, "little") if t == 11 else n.to_bytes(4, "big" if t == 5 else "little")
    raise ValueError(form)


def read_csv(text):
    rows = list(csv.DictReader(io.StringIO(text, newline="")))
    keys = {}
    for r in rows:
        entry = keys.setdefault(same_marks(r["path"]), [r["last_written"], []])
        if r["form"] != "key":
            t = TYPES.index(r["type"]) if r["type"] in TYPES else int(r["type"])
            if r["note"]:  # a name the library cannot read: marked, not compared
                continue
            entry[1].append((r["value"], t, bytes_of_csv(t, r["form"], r["data"])))
    return rows, keys


def read_jsonl(text):
    keys = {}
    for line in text.splitlines():
        k = json.loads(line)
        keys[same_marks(k["path"])] = [k["last_written"],
                           [(v["name"], v["type"], bytes.fromhex(v["data"]))
                            for v in k["values"] if v["name"] is not None]]
    return keys


def latin1(name):
    return all(ord(c) < 256 for c in name)


def same_marks(path):
    """A path with each name vesk-dump marks as unreadable ("<why>") and each name hivex
    reads beyond Latin-1 (stored as UTF-16) as "?", so the two walks compare."""
    return "\\".join("?" if (n.startswith("<") and n.endswith(">")) or not latin1(n) else n
                      for n in path.split("\\"))


def marked_unreadable(expected):
    """hivex's walk without the value names vesk-dump marks as unreadable (UTF-16)."""
    return {same_marks(p): (ft, [v for v in values if latin1(v[0])])
            for p, (ft, values) in expected.items()}


def compare(hive, fmt, got, expected):
    check(set(got) == set(expected), f"{hive} {fmt}: the keys differ from hivex's "
          f"({len(set(got) ^ set(expected))} differ)")
    for p, (ft, values) in expected.items():
        if p not in got:
            continue
        check(got[p][1] == values, f"{hive} {fmt}: values of {p!r} differ")
        check(filetime_of(got[p][0]) == ft, f"{hive} {fmt}: time of {p!r} differs")


def check_formats(vesk_dump, hive):
    expected, _ = hivex_walk(hive)
    expected = marked_unreadable(expected)
    status, text = run(vesk_dump, "--format", "csv", hive)
    check(status in (0, 1), f"{hive} csv: status {status}")
    rows, got = read_csv(text)
    compare(hive, "csv", got, expected)
    check(all("\n" not in r["path"] for r in rows), f"{hive} csv: a row spans lines")
    status, text = run(vesk_dump, "--format", "jsonl", hive)
    compare(hive, "jsonl", read_jsonl(text), expected)
    status, text = run(vesk_dump, "--format", "bodyfile", hive)
    with tempfile.NamedTemporaryFile("w", suffix=".body", delete=False) as f:
        f.write(text)
    listed = subprocess.run(["mactime", "-b", f.name, "-d", "-y"], capture_output=True,
                            text=True, check=True).stdout
    os.unlink(f.name)
    modified = {same_marks(r["File Name"]) for r in csv.DictReader(io.StringIO(listed)) if "m" in r["Type"]}
    # mactime leaves out a line with no time at all: a key whose time is zero.
    dated = {p for p, (ft, _) in expected.items() if ft >= 11644473600 * 10000000}
    check(modified == dated, f"{hive} bodyfile: mactime lists "
          f"{len(modified)} keys as modified, hivex walks {len(dated)} with a time")
    check(len(text.splitlines()) == len(expected), f"{hive} bodyfile: not a line per key")


def fold(s):
    return s.lower()


def check_search(vesk_dump, hive, grep, types):
    """csv's (path, value) pairs and key rows against the same search over hivex's walk."""
    keys, names = hivex_walk(hive)
    want_values, want_keys = set(), set()
    for p, (_, values) in keys.items():
        name_hit = grep is not None and fold(grep) in fold(names[p])
        if name_hit and not types:
            want_keys.add(p)
        for name, t, data in values:
            if any(ord(c) > 255 for c in name):
                continue
            if types and t not in types:
                continue
            text = ""
            if t in STRING_TYPES:
                text = data.decode("utf-16-le", "replace").split("\0")[0]
            elif t == 7:
                text = "\n".join(data.decode("utf-16-le", "replace").split("\0"))
            if grep is None or name_hit or fold(grep) in fold(name) or fold(grep) in fold(text):
                want_values.add((p, name))
                want_keys.add(p)
    for p in list(want_keys):  # every key above a match
        while "\\" in p:
            p = p.rsplit("\\", 1)[0]
            want_keys.add(p)
    args = ["--format", "csv", hive] + (["--grep", grep] if grep else [])
    for t in types:
        args += ["--type", str(t)]
    status, text = run(vesk_dump, *args)
    rows, _ = read_csv(text)
    got_values = {(r["path"], r["value"]) for r in rows if r["form"] != "key" and not r["note"]}
    got_keys = {r["path"] for r in rows}
    what = f"{os.path.basename(hive)} --grep {grep} --type {types}"
    check(got_values == want_values, f"{what}: {len(got_values)} values, hivex {len(want_values)}")
    check(got_keys == want_keys, f"{what}: {len(got_keys)} keys, hivex {len(want_keys)}")
    check(status == (0 if want_values or want_keys else 4), f"{what}: status {status}")


def check_several(vesk_dump, hives):
    """Three hives in one run, one of them refused: every other hive's lines, named."""
    refused = [h for h in hives if run(vesk_dump, "--format", "csv", h)[0] == 2]
    for fmt in ("csv", "jsonl", "bodyfile", "timeline"):
        status, text = run(vesk_dump, "--format", fmt, *hives)
        check(status == (2 if refused else 0) or (status == 1 and not refused),
              f"several {fmt}: status {status}")
        for h in hives:
            _, alone = run(vesk_dump, "--format", fmt, h)
            if fmt in ("csv", "timeline"):
                # One timeline: each hive's rows keep their order among the others'.
                got = [r for r in csv.DictReader(io.StringIO(text, newline="")) if r["hive"] == h]
                want = list(csv.DictReader(io.StringIO(alone, newline="")))
                got = [{k: v for k, v in r.items() if k != "hive"} for r in got]
            elif fmt == "jsonl":
                got = [json.loads(l) for l in text.splitlines() if json.loads(l)["hive"] == h]
                want = [json.loads(l) for l in alone.splitlines()]
                for r in got:
                    del r["hive"]
            else:
                got = [l.replace("|" + h + ":", "|", 1) for l in text.splitlines()
                       if l.startswith("0|" + h + ":")]
                want = alone.splitlines()
            check(got == want, f"several {fmt}: the lines of {h} differ from its own run")


def check_text(vesk_dump, hive):
    """--format text of the first value of each kind, against hivex's bytes decoded."""
    keys, _ = hivex_walk(hive)
    root = next(iter(keys))
    seen = set()
    for p, (_, values) in keys.items():
        for name, t, data in values:
            kind = {1: "sz", 2: "sz", 7: "multi", 4: "dword", 11: "qword"}.get(t, "hex")
            if kind in seen or not name or not latin1(name):
                continue
            seen.add(kind)
            if kind == "sz":
                want = data.decode("utf-16-le", "replace").split("\0")[0] + "\n"
            elif kind == "multi":
                strings = data.decode("utf-16-le", "replace").split("\0")
                while strings and strings[-1] == "":
                    strings.pop()
                want = "".join(x + "\n" for x in strings)
            elif kind in ("dword", "qword") and len(data) in (4, 8):
                want = str(int.from_bytes(data, "little")) + "\n"
            else:
                want = data.hex() + "\n"
            key = p[len(root) + 1:]
            status, got = run(vesk_dump, "--format", "text", "--value", name, hive, key)
            check(status == 0 and got == want, f"text of {p}\\{name}: {got!r}, want {want!r}")
    check(len(seen) >= 4, f"text: only {sorted(seen)} found to try")


def check_key_hints_and_output(vesk_dump, hive):
    p = subprocess.run([vesk_dump, hive, "Software/Microsoft"], capture_output=True, text=True)
    check(p.returncode == 2 and "backslashes" in p.stderr, "no hint for forward slashes")
    p = subprocess.run([vesk_dump, hive, "SoftwareMicrosoft"], capture_output=True, text=True)
    check(p.returncode == 2 and "'Software\\Microsoft'" in p.stderr, "no hint for a lost backslash")
    with tempfile.TemporaryDirectory() as d:
        copy = os.path.join(d, "hive")
        shutil.copy(hive, copy)
        out = os.path.join(d, "out.csv")
        status, text = run(vesk_dump, "--format", "csv", copy)
        check(run(vesk_dump, "--format", "csv", copy, "-o", out)[0] == status and
              open(out, encoding="utf-8", newline="").read() == text, "-o: not the same text")
        before = open(copy, "rb").read()
        check(run(vesk_dump, "--format", "csv", copy, "-o", copy)[0] == 2 and
              open(copy, "rb").read() == before, "-o over the hive was not refused")
        os.unlink(out)
        check(run(vesk_dump, "--format", "csv", os.path.join(d, "none"), "-o", out)[0] == 2,
              "-o: a missing hive was not refused")
        check(sorted(os.listdir(d)) == ["hive"], f"-o left files behind: {os.listdir(d)}")


def main():
    vesk_dump, hives = sys.argv[1], sys.argv[2:]
    readable = [h for h in hives if run(vesk_dump, "--format", "csv", h)[0] in (0, 1)]
    for h in readable:
        check_formats(vesk_dump, h)
    sample = next(h for h in hives if h.endswith("sample.hiv"))
    ntuser = next(h for h in hives if h.endswith("NTUSER.DAT"))
    for hive in (sample, ntuser):
        for grep, types in [("explorer", []), ("MICROSOFT", []), ("e", [1, 2]),
                            (None, [4]), (None, [3, 11]), ("zz-no-such-text", []),
                            ("Font", [1])]:
            check_search(vesk_dump, hive, grep, types)
    check_text(vesk_dump, ntuser)
    check_key_hints_and_output(vesk_dump, ntuser)
    check_several(vesk_dump, [sample, ntuser] + [h for h in hives if h not in readable][:1])
    print(f"{checks[0]} checks, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
