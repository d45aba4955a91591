"""vesk-dump's JSON, a walk through vesk/hive.hpp (walk_hpp) and a walk through the
Python module, set side by side on seeded mutants of the real hives, on lists damaged
as public test collections hold them, and on dirty copies read with ignore_dirty: the
same keys and values (names, types, bytes), the same skipped elements, and no record
whose signature is not "nk" or "vk". A key listed under two keys is placed by vesk-dump
under the one its parent field names, by the two walks where first met: such readings
are compared as the keys and values each holds, not where.

Environment: VESK_DUMP, WALK_HPP, VESK_LIBRARY, VESK_TEST_DATA_DIR, VESK_TESTKIT_DIR;
VESK_MUTANTS (default 300) and VESK_MUTANT_SEED (default 27) choose the mutants.
"""

import collections
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import warnings

sys.path.insert(0, os.environ["VESK_TESTKIT_DIR"])
import mutants  # noqa: E402
import vesk  # noqa: E402

HIVES = os.path.join(os.environ["VESK_TEST_DATA_DIR"], "hives")
REAL = sorted(f for f in os.listdir(HIVES) if not f.endswith(".md"))
READER_TIMEOUT = 20  # seconds, per reader and mutant; a reader that runs away fails
SKIP_LINE = re.compile(r"^vesk-dump: .*?: key .*?: (subkey|value)s? (\d+)(?: to (\d+))? "
                       r".*\((?:the first )?at 0x([0-9a-fA-F]+)\); skipped"
                       r"(?:, and the list's last (\d+) )?")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def shown(name):
    """A name as all three readers can agree on it: ASCII text as it is, other text by
    its length in bytes (vesk-dump prints 8-bit names in a code page, the others keep
    bytes); None when the library does not read it whole."""
    if name is None:
        return None
    if all(0x20 <= ord(c) < 0x7F for c in name):
        return name
    return "#%d" % len(name)


def from_hex(text):
    return None if text == "-" else "" if text == "=" else bytes.fromhex(text).decode("latin-1")


def dump_reading(path, dirty=False):
    args = [os.environ["VESK_DUMP"], "-f", "json"] + (["--ignore-dirty"] if dirty else [])
    run = subprocess.run(args + [path], capture_output=True, timeout=READER_TIMEOUT)
    if run.returncode == 2:
        return "refused", [], [], False
    rows, skips, hidden, moved = [], [], False, False

    def visit(key, depth):
        rows.append(("K", depth, shown(key["name"])))
        for v in key["values"]:
            rows.append(("V", shown(v["name"]), v["type"], v["data"]))
        for sub in key["subkeys"]:
            visit(sub, depth + 1)
    if run.stdout.strip():
        visit(json.loads(run.stdout), 0)
    for line in run.stderr.decode("utf-8", "replace").splitlines():
        m = SKIP_LINE.match(line)
        if m:
            first = int(m.group(2))
            skips.append((m.group(1) + "s", first, int(m.group(3) or first),
                          int(m.group(4), 16), int(m.group(5) or 0)))
        hidden = hidden or "more errors not shown" in line
        moved = moved or "is listed here too, but is dumped only under" in line
    # A key listed under two keys is dumped by vesk-dump under the one its parent field
    # names, by the two walks where first met.
    moved = moved or (hidden and b"dumped elsewhere" in run.stdout)
    return "read", rows, None if hidden else sorted(skips), moved


def hpp_reading(path, dirty=False):
    args = [os.environ["WALK_HPP"]] + (["--ignore-dirty"] if dirty else [])
    run = subprocess.run(args + [path], capture_output=True, timeout=READER_TIMEOUT, check=True)
    rows, skips = [], []
    for line in run.stdout.decode().splitlines():
        f = line.split(" ")
        if f[0] == "R":
            return "refused", [], []
        if f[0] == "K":
            rows.append(("K", int(f[1]), shown(from_hex(f[2]))))
        elif f[0] == "V":
            rows.append(("V", shown(from_hex(f[1])), int(f[2]),
                         None if f[3] == "-" else "" if f[3] == "=" else f[3]))
        elif f[0] == "S":
            skips.append((f[1], int(f[2]), int(f[3]), int(f[4]), int(f[5])))
    return "read", rows, sorted(skips)


class Timeout(Exception):
    pass


def _alarm(*_):
    raise Timeout()


def python_reading(path, dirty=False):
    rows, skips = [], []
    signatures = []

    def damaged(_path, d):
        if d.kind == "skipped":
            skips.append((d.items, d.first, d.last, d.at, d.unread))
    signal.signal(signal.SIGALRM, _alarm)
    signal.alarm(READER_TIMEOUT)
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            with vesk.Hive(path, ignore_dirty=dirty) as hive:
                for key_path, key in hive.walk(on_damage=damaged):
                    signatures.append(key.record.signature)
                    depth = key_path.count("\\") + 1 if key_path else 0
                    rows.append(("K", depth, shown(key.name if key.name_readable else None)))
                    for v in key.values():
                        signatures.append(v.record.signature)
                        data = v.data
                        rows.append(("V", shown(v.name), v.type,
                                     None if data is None else data.hex()))
    except vesk.HiveError:
        return "refused", [], [], []
    finally:
        signal.alarm(0)
    return "read", rows, sorted(skips), signatures


class Differential(unittest.TestCase):
    def compare(self, label, path, dirty=False):
        """The three readings of one file; returns whether any skip was compared."""
        started = time.monotonic()
        dump = dump_reading(path, dirty)
        hpp = hpp_reading(path, dirty)
        py = python_reading(path, dirty)
        took = time.monotonic() - started
        self.assertTrue(all(s in (0x6B6E, 0x6B76) for s in py[3]), label)
        self.assertEqual(dump[0], hpp[0], label)
        self.assertEqual(dump[0], py[0], label)
        self.assertEqual(hpp[1], py[1], label)
        if dump[3]:
            # Then the same keys and values, each once, wherever they are placed.
            self.assertEqual(placeless(dump[1]), placeless(hpp[1]), label)
        else:
            self.assertEqual(dump[1], hpp[1], label)
        self.assertEqual(hpp[2], py[2], label)
        if dump[2] is not None:
            self.assertEqual(dump[2], hpp[2], label)
        return dump, took

    def test_seeded_mutants(self):
        count = int(os.environ.get("VESK_MUTANTS", "300"))
        seed = int(os.environ.get("VESK_MUTANT_SEED", "27"))
        # The version 1.5 hive is mutated as a version 1.3 one, so that its mutants are
        # read rather than all refused for their version.
        originals = {name: as_version_13(read(os.path.join(HIVES, name))) for name in REAL}
        figures = {"read": 0, "refused": 0, "keys": 0, "skips": 0, "hidden": 0}
        slowest = 0.0
        with tempfile.TemporaryDirectory() as tmp:
            for i in range(count):
                name = REAL[i % len(REAL)]
                kind, data = mutants.mutate(originals[name], seed * 100003 + i)
                path = os.path.join(tmp, "mutant")
                with open(path, "wb") as f:
                    f.write(data)
                with self.subTest(mutant=i, hive=name, kind=kind):
                    dump, took = self.compare("%s %s #%d" % (name, kind, i), path)
                    slowest = max(slowest, took)
                    figures[dump[0]] += 1
                    figures["keys"] += sum(1 for r in dump[1] if r[0] == "K")
                    if dump[2] is None:
                        figures["hidden"] += 1
                    else:
                        figures["skips"] += len(dump[2])
        print("\n%d mutants (seed %d): %s; slowest three readings %.2f s"
              % (count, seed, figures, slowest), file=sys.stderr)

    def test_corrupt_lists(self):
        data = read(os.path.join(HIVES, "dfirmuseum-win7-BCD"))
        with tempfile.TemporaryDirectory() as tmp:
            for label, mutant in mutants.corrupt_lists(data):
                path = os.path.join(tmp, "corrupt")
                with open(path, "wb") as f:
                    f.write(mutant)
                with self.subTest(label):
                    dump, _ = self.compare(label, path)
                    self.assertEqual(len(dump[2]), 1, label)
                    self.assertEqual(dump[2][0][1:3], (1, 1), label)

    def test_dirty_copies(self):
        with tempfile.TemporaryDirectory() as tmp:
            for name in REAL:
                data = read(os.path.join(HIVES, name))
                minor = struct_minor(data)
                path = os.path.join(tmp, name)
                with open(path, "wb") as f:
                    f.write(mutants.dirty_copy(data, minor))
                with self.subTest(name):
                    dump, _ = self.compare(name, path, dirty=True)
                    self.assertEqual(dump[0], "read" if minor == 3 else "refused", name)
                    self.assertEqual(dump_reading(path)[0], "refused", name)
                    self.assertEqual(hpp_reading(path)[0], "refused", name)
            # A dirty hive of version 1.5 is refused for its version, dirty or not.
            path = os.path.join(tmp, "v15")
            with open(path, "wb") as f:
                f.write(mutants.dirty_copy(data, 5))
            with self.assertRaises(vesk.WrongVersionError):
                vesk.Hive(path, ignore_dirty=True)
            run = subprocess.run([os.environ["WALK_HPP"], "--ignore-dirty", path],
                                 capture_output=True, check=True)
            self.assertEqual(run.stdout.decode(), "R not a version 1.3 hive\n")


def placeless(rows):
    return collections.Counter(("K", r[2]) if r[0] == "K" else r for r in rows)


def as_version_13(data):
    return data[:24] + (3).to_bytes(4, "little") + data[28:]


def struct_minor(data):
    return int.from_bytes(data[24:28], "little")


if __name__ == "__main__":
    unittest.main()
