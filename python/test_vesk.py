"""Tests of the Python module: its records against the C header, walks of the real hives
(origins in tests/data/hives/README.md) against python3-hivex where it is installed,
every refusal and odd value data, text in several code sets, and the whole tree against
vesk-dump --format json when that tool is at hand.

Environment: VESK_LIBRARY (the library to load; else the module's own search),
VESK_LOGS_LIBRARY (the companion that applies transaction logs, likewise),
VESK_TEST_DATA_DIR, VESK_INCLUDE_DIR, VESK_EXAMPLES_DIR (default: the source tree),
VESK_DUMP (vesk-dump; its comparison is skipped without it), VESK_REQUIRE_LOCALES=1 to
fail rather than skip when a locale is missing.
"""

import ctypes
import datetime
import errno
import json
import locale
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import unittest
import warnings

import vesk

try:
    import hivex
except ImportError:
    hivex = None

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
DATA = os.environ.get("VESK_TEST_DATA_DIR") or os.path.join(SOURCE, "tests", "data")
INCLUDE = os.environ.get("VESK_INCLUDE_DIR") or os.path.join(SOURCE, "include")
EXAMPLES = os.environ.get("VESK_EXAMPLES_DIR") or os.path.join(SOURCE, "examples")
DUMP = os.environ.get("VESK_DUMP")
PACKAGE_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(vesk.__file__)))

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
            name = value.name if value.name_readable else UNREADABLE
            lines.append("  %s type %d data %s" % (name, value.type,
                                                   "<none>" if data is None else data.hex()))
    return lines


def copy_with(name, changes, cut=None):
    """A temporary copy of a real hive with bytes replaced ({offset: bytes}) or cut
    short; the caller removes it."""
    with open(hive_path(name), "rb") as f:
        data = bytearray(f.read())
    for offset, new in changes.items():
        data[offset:offset + len(new)] = new
    fd, path = tempfile.mkstemp(suffix=".hiv")
    with os.fdopen(fd, "wb") as f:
        f.write(data[:cut])
    return path


def first_value(name, key_path):
    """The file offset of the first value record of a key, for a test to break."""
    with vesk.Hive(hive_path(name)) as hive:
        return next(hive.open_key(key_path).values()).offset


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
        # keys, values, unnamed values, values and keys whose names the library cannot read
        for name, counts in ((NTUSER, [1597, 2310, 270, 0, 0]), (BCD, [66, 46, 0, 0, 0]),
                             (UNICODE_TESTS, [3, 22, 0, 11, 1])):
            with self.subTest(hive=name), vesk.Hive(hive_path(name)) as hive, \
                    warnings.catch_warnings():
                warnings.simplefilter("error")  # every subkey of these is read
                seen = [0, 0, 0, 0, 0]
                for _, key in hive.walk():
                    seen[0] += 1
                    self.assertEqual(len(list(key.subkeys())), key.subkey_count)
                    self.assertEqual(key.subkeys_not_read, 0)
                    seen[4] += not key.name_readable
                    for value in key.values():
                        seen[1] += 1
                        seen[2] += not value.has_name
                        seen[3] += not value.name_readable
                        # The unnamed value is "", a name the library cannot read None.
                        if not value.has_name:
                            self.assertEqual(value.name, "")
                        elif not value.name_readable:
                            self.assertIsNone(value.name)
                self.assertEqual(seen, counts)

    def test_the_unnamed_value_is_found_by_the_empty_name(self):
        with vesk.Hive(hive_path(NTUSER)) as hive:
            for _, key in hive.walk():
                unnamed = [v for v in key.values() if not v.has_name]
                if unnamed:
                    self.assertEqual(key.value("").offset, unnamed[0].offset)
                    break
            else:
                self.fail("no unnamed value")
        with vesk.Hive(hive_path(UNICODE_TESTS)) as hive:
            # UTF-16 names are not read: they are not the unnamed value.
            self.assertIsNone(hive.open_key("ascii_key_name0").value(""))

    @unittest.skipUnless(hivex, "python3-hivex is not installed (apt-get install python3-hivex)")
    def test_walks_match_python3_hivex(self):
        def typed(h, v):
            t = h.value_type(v)[0]
            if t in (1, 2):
                return h.value_string(v)
            if t == 7:
                strings = h.value_multiple_strings(v)
                while strings and not strings[-1]:  # the binding adds empty strings
                    strings.pop()
                return strings
            if t in (4, 5):
                return h.value_dword(v) & 0xFFFFFFFF  # the binding reads them signed
            if t == 11:
                return h.value_qword(v) & 0xFFFFFFFFFFFFFFFF
            return h.value_value(v)[1]

        def theirs(h, node, out):
            values = {h.value_key(v): (h.value_type(v)[0], typed(h, v))
                      for v in h.node_values(node)}
            out.append((h.node_name(node), h.node_timestamp(node), values))
            for child in h.node_children(node):
                theirs(h, child, out)
            return out

        epoch = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)
        for name in sorted(os.listdir(os.path.join(DATA, "hives"))):
            if name.endswith(".md") or name == ELAM:
                continue
            with self.subTest(hive=name), vesk.Hive(hive_path(name)) as hive:
                h = hivex.Hivex(hive_path(name))
                expected = theirs(h, h.root(), [])
                walked = list(hive.walk())
                self.assertEqual(len(walked), len(expected))
                compared = 0
                for (_, key), (key_name, stamp, values) in zip(walked, expected):
                    if key.name_readable:
                        self.assertEqual(key.name, key_name)
                    self.assertEqual(key.last_written,
                                     epoch + datetime.timedelta(microseconds=stamp // 10))
                    for value in key.values():
                        if value.name_readable:
                            self.assertEqual((value.type, value.value), values[value.name],
                                             value.name)
                            compared += 1
                self.assertGreater(compared, 0)

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

    def test_keys_know_their_path_and_parent(self):
        for name in (BCD, UNICODE_TESTS):
            with self.subTest(hive=name), vesk.Hive(hive_path(name)) as hive:
                self.assertEqual((hive.root.path, hive.root.parent), ("", None))
                for path, key in hive.walk():
                    parent = key.parent
                    self.assertEqual(key.path, path)
                    if parent is not None:
                        self.assertEqual(parent.path, path.rpartition("\\")[0])
                        self.assertIn(key.offset, [k.offset for k in parent.subkeys()])
                    self.assertEqual(hive.open_key(path).path, path)
                    self.assertEqual(hive.open_key(path.upper()).path.upper(), path.upper())

    def test_value_lookup_ignores_case(self):
        with vesk.Hive(hive_path(UNICODE_TESTS)) as hive:
            key = hive.open_key("ascii_key_name0")
            self.assertEqual(key.value("ascii_value_name2").text, "ASCII_VALUE_VALUE0")
            self.assertEqual(key.value("ascii_value_name2").value, "ASCII_VALUE_VALUE0")
            self.assertIsNone(key.value("absent"))

    def test_subkeys_under_lists_the_library_does_not_read_are_counted_and_warned(self):
        with vesk.Hive(hive_path(BCD)) as hive:
            objects = hive.open_key("Objects")
            at, counted = objects.record.subkey_list + 4100, objects.subkey_count
        rows = [  # what, change to the "Objects" list, subkeys not read, reason
            ("an lh list", {at: b"lh"}, counted,
             'its %d subkeys are not read: their list is an "lh" list, which the library'
             ' does not read' % counted),
            ("no signature", {at: b"\x01\x02"}, counted,
             'its %d subkeys are not read: their list has no "lf" signature (0x0201)' % counted),
            ("fewer listed", {at + 2: struct.pack("<h", 3)}, counted - 3,
             "counts %d subkeys, but its list holds 3" % counted),
        ]
        for what, change, hidden, reason in rows:
            path = copy_with(BCD, change)
            try:
                with self.subTest(what), vesk.Hive(path) as hive:
                    not_read = hive.open_key("Objects").subkeys_not_read
                    self.assertEqual((not_read, not_read.reason), (hidden, reason))
                    with warnings.catch_warnings(record=True) as caught:
                        warnings.simplefilter("always")
                        walked = sum(1 for _ in hive.walk())
                        list(hive.walk())  # once per hive
                    self.assertLess(walked, 66 - hidden + 1)
                    self.assertEqual([str(w.message).endswith(reason) for w in caught], [True])
                    self.assertIs(caught[0].category, vesk.SubkeysNotReadWarning)
            finally:
                os.remove(path)

    def test_every_refusal_says_why(self):
        with vesk.Hive(hive_path(BCD)) as hive:
            size = hive.file_size
        text = os.path.join(tempfile.gettempdir(), "vesk-text-%d.txt" % os.getpid())
        with open(text, "w") as f:
            f.write("Windows Registry Editor Version 5.00\n" * 200)
        work = tempfile.mkdtemp()
        rows = [  # what, path, exception, vesk-dump's reason, attribute checked
            ("missing file", os.path.join(work, "absent"), FileNotFoundError,
             "cannot open: No such file or directory", ("errno", errno.ENOENT)),
            ("directory", work, IsADirectoryError, "cannot open: it is a directory",
             ("errno", errno.EISDIR)),
            ("text file", text, vesk.NotAHiveError,
             'not a hive: it does not start with "regf"', None),
            ("short file", copy_with(BCD, {}, cut=100), vesk.NotAHiveError,
             "not a hive: 100 bytes, shorter than the 4096-byte base block every hive"
             " starts with", None),
            ("version 1.5", hive_path(ELAM), vesk.WrongVersionError,
             "version 1.5: only version 1.3 hives can be read", ("version", (1, 5))),
            ("dirty", copy_with(BCD, {4: struct.pack("<II", 5, 6)}), vesk.DirtyHiveError,
             "the hive was not written out cleanly: its sequence numbers 5 and 6 differ"
             " (a write was cut short; its transaction logs hold the rest)",
             ("sequences", (5, 6))),
            ("cut at the base block", copy_with(BCD, {}, cut=4096), vesk.NoRootKeyError,
             "no root key: it must be the first cell of the first bin, and the file ends"
             " before that bin", None),
            ("cut in the first bin", copy_with(BCD, {}, cut=4120), vesk.NoRootKeyError,
             "no root key: it must be the first cell of the first bin, and the file ends"
             " inside that bin", None),
        ]
        try:
            for what, path, exception, reason, attribute in rows:
                with self.subTest(what):
                    with self.assertRaises(exception) as caught:
                        vesk.Hive(path)
                    error = caught.exception
                    self.assertEqual(error.filename, path)
                    said = ("cannot open: it is a directory" if isinstance(error, IsADirectoryError)
                            else "cannot open: " + error.strerror
                            if not isinstance(error, vesk.HiveError) else error.reason)
                    if reason is not None:
                        self.assertEqual(said, reason)
                    if attribute is not None:
                        self.assertEqual(getattr(error, attribute[0]), attribute[1])
                    if DUMP and os.access(DUMP, os.X_OK):
                        run = subprocess.run([DUMP, path], stdout=subprocess.DEVNULL,
                                             stderr=subprocess.PIPE, universal_newlines=True)
                        # The refusal is vesk-dump's last line; a cut file is named before
                        # it, and a dirty one gets the option that reads it anyway.
                        refusal = run.stderr.splitlines()[-1]
                        refusal = refusal.replace("; --ignore-dirty reads the file as it stands", "")
                        self.assertEqual((run.returncode, refusal),
                                         (2, "vesk-dump: %s: %s" % (path, said)))
            # A hive cut short after its root opens, and its walk ends without a fault.
            path = copy_with(NTUSER, {}, cut=size // 2)
            with vesk.Hive(path) as hive, warnings.catch_warnings():
                warnings.simplefilter("ignore", vesk.SubkeysNotReadWarning)
                for _, key in hive.walk():
                    for value in key.values():
                        try:
                            value.value
                        except vesk.ValueDataError:
                            pass
            os.remove(path)
        finally:
            for _, path, _, _, _ in rows:
                if path.startswith(tempfile.gettempdir()) and os.path.isfile(path):
                    os.remove(path)
            os.rmdir(work)

    def test_the_first_rule_broken_names_the_refusal(self):
        rows = [  # what, change to a clean 1.3 hive, exception, key, attribute checked
            ("dirty version 1.5", {4: struct.pack("<II", 5, 6), 20: struct.pack("<II", 1, 5)},
             vesk.WrongVersionError, "wrong_version", ("version", (1, 5))),
            ("dirty, file type 1", {4: struct.pack("<II", 5, 6), 28: struct.pack("<I", 1)},
             vesk.DirtyHiveError, "not_written_cleanly", ("sequences", (5, 6))),
            ("version 1.5, file type 1", {20: struct.pack("<III", 1, 5, 1)},
             vesk.WrongVersionError, "wrong_version", ("version", (1, 5))),
        ]
        for what, change, exception, key, (attribute, expected) in rows:
            path = copy_with(BCD, change)
            try:
                with self.subTest(what), self.assertRaises(exception) as caught:
                    vesk.Hive(path)
                error = caught.exception
                self.assertEqual((type(error), error.key, getattr(error, attribute)),
                                 (exception, key, expected))
            finally:
                os.remove(path)

    def test_the_refusal_table_is_the_cpp_one_word_for_word(self):
        header = os.path.join(INCLUDE, "vesk", "base_block.hpp")
        compiler = os.environ.get("CXX") or shutil.which("c++") or shutil.which("g++")
        if not os.path.isfile(header):
            self.skipTest("%s does not exist: no C++ table to compare with" % header)
        if compiler is None:
            self.skipTest("no C++ compiler to read the table with")
        probe = ("#include <cstdio>\n#include \"vesk/base_block.hpp\"\n"
                 "int main() {\n  for (const auto& row : vesk::base_block::kReasonRows)\n"
                 "    std::printf(\"%s\\t%s\\n\", row.key, row.text);\n}\n")
        with tempfile.TemporaryDirectory() as work:
            source, program = os.path.join(work, "rows.cpp"), os.path.join(work, "rows")
            with open(source, "w") as f:
                f.write(probe)
            subprocess.run([compiler, "-std=c++17", "-I", INCLUDE, "-o", program, source],
                           check=True)
            printed = subprocess.run([program], check=True, stdout=subprocess.PIPE,
                                     universal_newlines=True).stdout
        self.assertEqual(printed, "".join("%s\t%s\n" % row for row in vesk.REASONS))

    def test_a_file_without_read_permission_raises_permission_error(self):
        fd, path = tempfile.mkstemp(suffix=".hiv")
        os.close(fd)
        shutil.copyfile(hive_path(BCD), path)
        os.chmod(path, 0)
        try:
            if os.geteuid() != 0:
                with self.assertRaises(PermissionError) as caught:
                    vesk.Hive(path)
                self.assertEqual((caught.exception.errno, caught.exception.filename),
                                 (errno.EACCES, path))
                return
            setpriv = shutil.which("setpriv")
            if setpriv is None:
                self.skipTest("running as root, which cannot lose access, and no setpriv to"
                              " run as another user")
            # As the unprivileged user "nobody", with the module and library under test.
            env = dict(os.environ, PYTHONPATH=PACKAGE_ROOT,
                       VESK_LIBRARY=os.path.abspath(vesk.library()._name))

            def as_nobody(code):
                return subprocess.run([setpriv, "--reuid=65534", "--regid=65534",
                                       "--clear-groups", sys.executable, "-c", code],
                                      env=env, cwd="/", stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, universal_newlines=True)

            loads = as_nobody("import vesk; vesk.library()")
            if loads.returncode != 0:
                self.skipTest("user nobody cannot load the module or library under test: "
                              + (loads.stderr.strip().splitlines() or ["?"])[-1])
            run = as_nobody("import errno, vesk\ntry:\n    vesk.Hive(%r)\n"
                            "except PermissionError as e:\n"
                            "    print(e.errno == errno.EACCES and e.filename == %r)\n"
                            % (path, path))
            self.assertEqual(run.stdout, "True\n", run.stderr)
        finally:
            os.remove(path)

    def test_odd_value_data_gives_a_defined_value(self):
        at = first_value(UNICODE_TESTS, "ascii_key_name0")
        big = ValueError  # marks a row that expects ValueDataError

        def inline(data_type, data):
            return {at + 4: struct.pack("<I", 0x80000000 | len(data)),
                    at + 8: data.ljust(4, b"\0"), at + 12: struct.pack("<I", data_type)}

        rows = [  # what, change to the value, expected Value.value
            ("REG_SZ of odd length", inline(1, b"A\0B"), "A"),
            ("REG_SZ without terminator", inline(1, b"A\0B\0"), "AB"),
            ("REG_SZ with an unpaired surrogate", inline(2, b"\0\xd8A\0"), "\ud800A"),
            ("REG_SZ empty", inline(1, b""), ""),
            ("REG_MULTI_SZ empty", inline(7, b""), []),
            ("REG_MULTI_SZ one string, no list end", inline(7, b"A\0\0\0"), ["A"]),
            ("REG_MULTI_SZ without terminator", inline(7, b"A\0B\0"), ["AB"]),
            ("REG_DWORD", inline(4, b"\x01\x02\x03\x04"), 0x04030201),
            ("REG_DWORD_BIG_ENDIAN", inline(5, b"\x01\x02\x03\x04"), 0x01020304),
            ("REG_DWORD of 3 bytes", inline(4, b"\x01\x02\x03"), big),
            ("REG_QWORD of 4 bytes", inline(11, b"\x01\x02\x03\x04"), big),
            ("REG_BINARY empty", inline(3, b""), b""),
            ("REG_LINK", inline(6, b"A\0B\0"), "AB"),
            ("type past REG_QWORD", inline(0x12345, b"ab"), b"ab"),
            ("REG_SZ larger than the file", {at + 4: struct.pack("<I", 0x7FFFFFF0),
                                             at + 12: struct.pack("<I", 1)}, None),
        ]
        for what, change, expected in rows:
            path = copy_with(UNICODE_TESTS, change)
            try:
                with self.subTest(what), vesk.Hive(path) as hive:
                    value = next(hive.open_key("ascii_key_name0").values())
                    if expected is big:
                        with self.assertRaises(vesk.ValueDataError):
                            value.value
                        self.assertEqual(value.value_or_data(), value.data)
                    else:
                        self.assertEqual(value.value, expected)
                        self.assertEqual(value.value_or_data(), expected)
            finally:
                os.remove(path)

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
            [PACKAGE_ROOT] + env.get("PYTHONPATH", "").split(os.pathsep))
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

    @unittest.skipUnless(sys.platform.startswith("linux"), "transaction logs: Linux only")
    def test_dirty_hives_read_with_their_logs_as_vesk_dump_logs_reads_them(self):
        folder = os.path.join(DATA, "logs")
        with tempfile.TemporaryDirectory() as scratch:
            # Sequence numbers 5/5 but a wrong checksum, no log beside it: read as it stands.
            checksum = os.path.join(scratch, "BCD-Template")
            with open(os.path.join(folder, "win10-BCD-Template", "BCD-Template"), "rb") as f:
                block = bytearray(f.read())
            block[508] ^= 1
            with open(checksum, "wb") as f:
                f.write(block)
            # hive, whether it warns, the reason thrown (None: it opens), keys
            rows = [
                ("NewDirtyHive1/NewDirtyHive", True, None, 5),
                ("NewDirtyHive2/NewDirtyHive", True, None, 5),
                ("OldDirtyHive/OldDirtyHive", True, None, 2),
                ("BadBaseBlockHive/BadBaseBlockHive", True, None, 2),
                ("BadLogHive1/BadLogHive", False, "its header checksum is wrong", 0),
                ("BadLogHive2/BadLogHive", False, 'no "DIRT" dirty vector', 0),
                ("BadLogHive3/BadLogHive", False, "no log beside the hive can be used", 0),
                ("TruncatedDirtyHive/TruncatedDirtyHive", False,
                 "no transaction log was found beside the hive", 0),
                ("win10-BCD-Template/BCD-Template", False, None, 143),
                (checksum, True, None, 143),
            ]
            for name, warns, refused, keys in rows:
                with self.subTest(hive=name):
                    path = os.path.join(folder, name)
                    run = subprocess.run([DUMP, "--logs", "--format", "json", path],
                                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                    if refused:
                        self.assertEqual(run.returncode, 2)
                        with self.assertRaises(vesk.LogsNotAppliedError) as caught:
                            vesk.Hive(path, logs=True)
                        self.assertIn(refused, caught.exception.reason)
                        self.assertIn(refused, run.stderr.decode())
                        continue
                    self.assertIn(run.returncode, (0, 1))  # 1: an "ri" list, or the checksum
                    with warnings.catch_warnings(record=True) as said:
                        warnings.simplefilter("always", vesk.DirtyHiveWarning)
                        with vesk.Hive(path, logs=True) as hive:
                            lines = tree_lines(hive)
                            recovery = hive.recovery
                    dirty = [str(w.message) for w in said
                             if w.category is vesk.DirtyHiveWarning]
                    self.assertEqual(len(dirty), 1 if warns else 0)
                    for line in recovery.lines:  # what vesk-dump says on stderr
                        self.assertIn(line, run.stderr.decode())
                        self.assertTrue(not warns or line in dirty[0])
                    self.assertEqual(lines, json_lines(json.loads(run.stdout)))
                    self.assertEqual(sum(line.startswith("key ") for line in lines), keys)

    def test_typed_values_read_as_vesk_dump_json_reads_them(self):
        def theirs(node, out):
            for v in node["values"]:
                decoded = next((v[k] for k in ("text", "strings", "number") if k in v), None)
                if decoded is None and v["data"] is not None:
                    decoded = bytes.fromhex(v["data"])
                out.append((v["name"], v["type"], decoded))
            for sub in node["subkeys"]:
                theirs(sub, out)
            return out

        def replaced(decoded):  # vesk-dump's JSON shows an unpaired surrogate as U+FFFD
            if isinstance(decoded, list):
                return [replaced(s) for s in decoded]
            if isinstance(decoded, str):
                return "".join("\ufffd" if 0xD800 <= ord(c) <= 0xDFFF else c for c in decoded)
            return decoded

        at = first_value(UNICODE_TESTS, "ascii_key_name0")
        link = copy_with(UNICODE_TESTS, {at + 12: struct.pack("<I", vesk.REG_LINK)})
        try:
            for path in (hive_path(NTUSER), hive_path(UNICODE_TESTS), link,
                         os.path.join(EXAMPLES, "sample.hiv")):
                with self.subTest(hive=path):
                    run = subprocess.run([DUMP, "--format", "json", path],
                                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                    self.assertIn(run.returncode, (0, 1))
                    expected = theirs(json.loads(run.stdout.decode("utf-8")), [])
                    with vesk.Hive(path) as hive:
                        ours = [(v.name, v.type, replaced(v.value_or_data()))
                                for _, k in hive.walk() for v in k.values()]
                    self.assertEqual(ours, expected)
                    if path == link:
                        links = [o[2] for o in ours if o[1] == vesk.REG_LINK]
                        self.assertEqual([type(text) for text in links], [str])
        finally:
            os.remove(link)


class DamageTest(unittest.TestCase):
    """Lists pointing where no key or value is, and dirty hives read on request. The
    same damage read by vesk-dump and hive.hpp is set beside this in
    tests/damage_differential."""

    def broken(self, element_to):
        """A copy of BCD whose root list's second element points where `element_to`
        says (given the root list's file offset and the file's size)."""
        with vesk.Hive(hive_path(BCD)) as hive:
            root = hive.root
            at = root.record.subkey_list + 4100 + 4 + 8
            return copy_with(BCD, {at: struct.pack("<I", element_to(root, hive.file_size))})

    def test_elements_that_name_no_key_are_skipped_and_reported(self):
        cases = [
            ("past the file", lambda root, size: size + 0x1000, 0, 1),
            ("at the root's own node, a loop", lambda root, size: root.offset - 4100, 0, 0),
            ("off the cell grid", lambda root, size: root.offset - 4100 + 2, 0, 1),
        ]
        for label, target, kinds, skipped in cases:
            with self.subTest(label):
                path = self.broken(target)
                try:
                    found = []
                    with vesk.Hive(path) as hive:
                        walked = [p for p, _ in
                                  hive.walk(on_damage=lambda _, d: found.append(d))]
                        listing = hive.root.subkeys()
                        keys = list(listing)
                    self.assertEqual(len(walked), len(set(walked)))
                    self.assertTrue(all(k.record.signature == 0x6B6E for k in keys))
                    runs = [d for d in listing.damage if d.kind == "skipped"]
                    self.assertEqual([(d.first, d.last) for d in runs], [(1, 1)] * skipped)
                    if not skipped:
                        self.assertIn("revisit", [d.kind for d in found])
                finally:
                    os.remove(path)

    def test_a_dirty_hive_reads_with_ignore_dirty_and_a_warning(self):
        with open(hive_path(NTUSER), "rb") as f:
            primary = struct.unpack_from("<I", f.read(8), 4)[0]
        path = copy_with(NTUSER, {8: struct.pack("<I", primary + 1)})
        try:
            with self.assertRaises(vesk.DirtyHiveError):
                vesk.Hive(path)
            with warnings.catch_warnings(record=True) as said:
                warnings.simplefilter("always")
                with vesk.Hive(path, ignore_dirty=True) as dirty, \
                        vesk.Hive(hive_path(NTUSER)) as clean:
                    self.assertEqual(tree_lines(dirty), tree_lines(clean))
            self.assertEqual([w.category for w in said], [vesk.DirtyHiveWarning])
        finally:
            os.remove(path)


if __name__ == "__main__":
    unittest.main()
