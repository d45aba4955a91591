"""Tests of the Python module: its records against the C header, walks of the real hives
(origins in tests/data/hives/README.md), text in several code sets, and the whole tree
against vesk-dump --format json when that tool is at hand.

Environment: VESK_LIBRARY (the library to load; else the module's own search),
VESK_TEST_DATA_DIR, VESK_INCLUDE_DIR, VESK_EXAMPLES_DIR (default: the source tree),
VESK_DUMP (vesk-dump; its comparison is skipped without it), VESK_REQUIRE_LOCALES=1 to
fail rather than skip when a locale is missing.
"""

import ctypes
import json
import locale
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

import vesk

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
DATA = os.environ.get("VESK_TEST_DATA_DIR") or os.path.join(SOURCE, "tests", "data")
INCLUDE = os.environ.get("VESK_INCLUDE_DIR") or os.path.join(SOURCE, "include")
EXAMPLES = os.environ.get("VESK_EXAMPLES_DIR") or os.path.join(SOURCE, "examples")
DUMP = os.environ.get("VESK_DUMP")

NTUSER = "dfwinreg-NTUSER.DAT"
BCD = "dfirmuseum-win7-BCD"
UNICODE_TESTS = "python-registry-UNICODE_TESTS"
ELAM = "dfirmuseum-win10-ELAM"  # version 1.5, which the library refuses

RECORDS = [vesk.BaseBlock, vesk.HiveHandle, vesk.KeyRecord, vesk.KeyListRecord,
           vesk.ValueListRecord, vesk.ValueRecord]


def hive_path(name):
    return os.path.join(DATA, "hives", name)


def setUpModule():
    print("\nvesk module %s, library %s" % (vesk.__file__, vesk.library()._name),
          file=sys.stderr)


UNREADABLE = "<unreadable>"  # a name vesk-dump's JSON gives as null


def tree_lines(hive):
    """One line per key and per value, in walk order: the whole hive as text."""
    lines = []
    shown = {"": ""}  # the library's path -> the path with unreadable names marked
    for path, key in hive.walk():
        if path:
            parent = path.rsplit("\\", 1)[0] if "\\" in path else ""
            whole = key.record.flags & 0x20 and len(key.raw_name) == key.record.name_length
            name = key.name if whole else UNREADABLE
            shown[path] = shown[parent] + "\\" + name if shown[parent] else name
        lines.append("key %s" % shown[path])
        for value in key.values():
            data = value.data
            # vesk-dump names a value without a stored name "", where the library says
            # "{default}"; a name stored as UTF-16 (no 8-bit flag, a length) is null.
            stored = value.record.name_length
            if not value.has_name:
                name = UNREADABLE if stored else ""
            else:
                name = value.name if len(value.raw_name) == stored else UNREADABLE
            lines.append("  %s type %d data %s" % (name, value.type,
                                                   "<none>" if data is None else data.hex()))
    return lines


def json_lines(node, path=None):
    """The same lines from vesk-dump's JSON tree."""
    lines = ["key %s" % ("" if path is None else path)]
    for value in node["values"]:
        data = "<none>" if value["data"] is None else value["data"].lower()
        name = UNREADABLE if value["name"] is None else value["name"]
        lines.append("  %s type %d data %s" % (name, value["type"], data))
    for sub in node["subkeys"]:
        name = UNREADABLE if sub["name"] is None else sub["name"]
        sub_path = name if not path else path + "\\" + name
        lines.extend(json_lines(sub, sub_path))
    return lines


class RecordsTest(unittest.TestCase):
    def test_every_field_sits_where_the_c_header_puts_it(self):
        compiler = os.environ.get("CC") or shutil.which("cc") or shutil.which("gcc")
        if compiler is None:
            self.skipTest("no C compiler to read the header with")
        # Per field: offset, size, and for a number whether it is signed (2: not a number).
        rows, expected = [], []
        for record in RECORDS:
            name = record.__name__
            rows += ["  {", "    %s r;" % name,
                     '    printf("%s %%u\\n", (unsigned)sizeof r);' % name]
            expected.append("%s %d" % (name, ctypes.sizeof(record)))
            for field, field_type in record._fields_:
                scalar = issubclass(field_type, ctypes._SimpleCData)
                sign = "(r.%s = 0, --r.%s < 0)" % (field, field) if scalar else "2"
                rows.append('    printf("%s.%s %%u %%u %%d\\n", (unsigned)offsetof(%s, %s), '
                            '(unsigned)sizeof r.%s, %s);'
                            % (name, field, name, field, field, sign))
                signed = int(field_type(-1).value < 0) if scalar else 2
                descriptor = getattr(record, field)
                expected.append("%s.%s %d %d %d" % (name, field, descriptor.offset,
                                                    descriptor.size, signed))
            rows.append("  }")
        probe = ("#include <stddef.h>\n#include <stdio.h>\n#include \"vesk_10.h\"\n"
                 "int main(void) {\n%s\n  return 0;\n}\n" % "\n".join(rows))
        with tempfile.TemporaryDirectory() as work:
            source = os.path.join(work, "probe.c")
            program = os.path.join(work, "probe")
            with open(source, "w") as f:
                f.write(probe)
            subprocess.run([compiler, "-I", INCLUDE, "-o", program, source], check=True)
            printed = subprocess.run([program], check=True, stdout=subprocess.PIPE,
                                     universal_newlines=True).stdout.splitlines()
        self.assertEqual(printed, expected)


class RealHivesTest(unittest.TestCase):
    def test_walks_reach_every_key_and_value(self):
        for name, keys, values, unnamed in ((NTUSER, 1597, 2310, 270), (BCD, 66, 46, 0),
                                            (UNICODE_TESTS, 3, 22, 11)):
            with self.subTest(hive=name), vesk.Hive(hive_path(name)) as hive:
                counts = [0, 0, 0]
                for _, key in hive.walk():
                    counts[0] += 1
                    self.assertEqual(len(list(key.subkeys())), key.subkey_count)
                    for value in key.values():
                        counts[1] += 1
                        counts[2] += not value.has_name
                self.assertEqual(counts, [keys, values, unnamed])

    def test_unnamed_values_read_as_default(self):
        with vesk.Hive(hive_path(UNICODE_TESTS)) as hive:
            names = {v.name for _, key in hive.walk() for v in key.values() if not v.has_name}
        self.assertEqual(names, {"{default}"})

    def test_data_comes_whole_from_the_file_or_the_record(self):
        with vesk.Hive(hive_path(NTUSER)) as hive:
            longest = 0
            for _, key in hive.walk():
                for value in key.values():
                    data = value.data
                    self.assertEqual(len(data), value.length)
                    longest = max(longest, len(data))
                    if value.type == 4:  # REG_DWORD
                        self.assertEqual(int.from_bytes(data, "little"), value.dword)
        self.assertEqual(longest, 29916)

    def test_walk_paths_open_the_keys_they_name(self):
        for name in (BCD, UNICODE_TESTS):
            with self.subTest(hive=name), vesk.Hive(hive_path(name)) as hive:
                for path, key in hive.walk():
                    for spelling in (path, path.upper(), path.lower()):
                        found = hive.open_key(spelling)
                        self.assertIsNotNone(found, spelling)
                        self.assertEqual(found.offset, key.offset, spelling)
                self.assertIsNone(hive.open_key("Objects\\no such key"))

    def test_value_lookup_ignores_case(self):
        with vesk.Hive(hive_path(UNICODE_TESTS)) as hive:
            key = hive.open_key("ascii_key_name0")
            self.assertEqual(key.value("ascii_value_name2").text, "ASCII_VALUE_VALUE0")
            self.assertIsNone(key.value("absent"))

    def test_files_the_library_refuses_raise(self):
        with tempfile.TemporaryDirectory() as work:
            for path in (hive_path(ELAM), os.path.join(work, "absent"), work):
                with self.subTest(path=path), self.assertRaises(vesk.HiveError):
                    vesk.Hive(path)

    def test_a_closed_hive_refuses_further_reads(self):
        with vesk.Hive(hive_path(BCD)) as hive:
            root = hive.root
            self.assertEqual(hive.base_block.signature, 0x66676572)  # "regf"
        self.assertTrue(hive.closed)
        with self.assertRaises(ValueError):
            root.name
        with self.assertRaises(ValueError):
            next(root.subkeys())
        hive.close()

    def test_threads_sharing_the_library_see_their_own_texts(self):
        def names(name):
            with vesk.Hive(hive_path(name)) as hive:
                return [(p, [v.name for v in k.values()]) for p, k in hive.walk()]

        expected = {name: names(name) for name in (BCD, UNICODE_TESTS)}
        results = {}

        def run(index, name):
            results[index] = all(names(name) == expected[name] for _ in range(20))

        threads = [threading.Thread(target=run, args=(i, (BCD, UNICODE_TESTS)[i % 2]))
                   for i in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(results, {i: True for i in range(4)})


class TextTest(unittest.TestCase):
    @staticmethod
    def converted(data, code_set):
        """Terminated UTF-16LE data as the code set shows it: a character the code set
        lacks becomes its replacement, "?"."""
        text = data.decode("utf-16-le", "replace").split("\0")[0]
        return text.encode(code_set, "replace").decode(code_set)

    @staticmethod
    def terminated(data):
        return any(data[i:i + 2] == b"\0\0" for i in range(0, len(data) - 1, 2))

    def test_text_is_decoded_from_the_code_set_in_force(self):
        required = os.environ.get("VESK_REQUIRE_LOCALES") == "1"
        saved = locale.setlocale(locale.LC_CTYPE)
        try:
            for name in ("C.UTF-8", "en_US.ISO-8859-1", "ru_RU.KOI8-R", "en_US.CP1252"):
                with self.subTest(locale=name):
                    try:
                        locale.setlocale(locale.LC_CTYPE, name)
                    except locale.Error:
                        if required:
                            raise
                        self.skipTest("locale %s is not installed" % name)
                    code_set = locale.nl_langinfo(locale.CODESET)
                    with vesk.Hive(hive_path(UNICODE_TESTS)) as hive:
                        texts = [(v.text, self.converted(v.data, code_set))
                                 for _, k in hive.walk() for v in k.values()
                                 if v.type in (1, 2, 7) and self.terminated(v.data)]
                    self.assertEqual(len(texts), 22)
                    self.assertEqual([t[0] for t in texts], [t[1] for t in texts])
        finally:
            locale.setlocale(locale.LC_CTYPE, saved)


class ExampleTest(unittest.TestCase):
    def test_example_lists_the_hive(self):
        # The example imports the very module under test.
        env = dict(os.environ)
        env["PYTHONPATH"] = os.pathsep.join(
            [os.path.dirname(vesk.__file__)] + env.get("PYTHONPATH", "").split(os.pathsep))
        printed = subprocess.run([sys.executable, os.path.join(EXAMPLES, "use.py"),
                                  hive_path(BCD)], check=True, stdout=subprocess.PIPE,
                                 universal_newlines=True, env=env).stdout.splitlines()
        self.assertEqual(len(printed), 66 + 46 + 1)
        self.assertEqual(printed[-1], "66 keys, 46 values")


@unittest.skipUnless(DUMP and os.access(DUMP, os.X_OK),
                     "vesk-dump is not built (VESK_DUMP names no program)")
class DumpTest(unittest.TestCase):
    def test_the_whole_tree_matches_vesk_dump_json(self):
        for name in (NTUSER, BCD, UNICODE_TESTS):
            with self.subTest(hive=name):
                # Exit 1 (dumped with errors) is expected where names are stored as UTF-16.
                run = subprocess.run([DUMP, "--format", "json", hive_path(name)],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                self.assertIn(run.returncode, (0, 1))
                out = run.stdout
                try:
                    text = out.decode("utf-8")
                except UnicodeDecodeError:
                    text = out.decode("latin-1")
                document = json.loads(text)
                if "name" not in document and "root" in document:
                    document = document["root"]
                with vesk.Hive(hive_path(name)) as hive:
                    self.assertEqual(tree_lines(hive), json_lines(document))


if __name__ == "__main__":
    unittest.main()
