#!/usr/bin/env python3
"""Checks what Wine's regedit made of a .reg file from vesk-dump, value by value.

Usage: regedit_import.py EXPECTED.json GIVEN.reg EXPORT.reg USER.reg ROOT NAME [OPTION]

EXPECTED.json is vesk-dump's JSON of the hive (the library's names, types and stored
bytes); GIVEN.reg the file that was imported; EXPORT.reg what `regedit /E ROOT` wrote
afterwards; USER.reg the Wine prefix's own registry file. Every value the library reads
must come back with the same type and bytes, and nothing else may be there. Values the
given file leaves out (a ';' comment line where they would be) are counted apart: a
name the library cannot read, or, in REGEDIT4, data the code page cannot carry.
With --all-written every value the library reads counts as written, for a file whose
lines this script cannot match to names (one from an earlier vesk-dump). With
--code-page=N a REGEDIT4 GIVEN.reg is read in code page N rather than 1252.

regedit's export cannot show every stored form: a REG_SZ comes out as quoted text and a
REG_DWORD as dword: whatever their sizes. Where the export's form cannot carry the bytes
the library has, the value is looked up in USER.reg, where Wine keeps the exact bytes.

One thing no file can avoid is counted apart, not as a fault: Wine ends string data that
lacks a final zero unit with one (see wine_adds_terminator).

Prints "NAME: E exact / N read (W not written, S checked in the registry file; ...)" and
exits 1 on any value that came back different, is missing, or was not expected.
"""
import json
import sys

STRING_TYPES = (1, 2, 7)


def utf16z(text):
    return text.encode("utf-16-le", "surrogatepass") + b"\0\0"


def unescape(body, i, end_quote=True):
    """Reads a quoted string starting after its opening quote; returns (text, index after)."""
    out = []
    while i < len(body):
        c = body[i]
        if c == '"':
            return "".join(out), i + 1
        if c == "\\" and i + 1 < len(body):
            n = body[i + 1]
            i += 2
            if n == "x":
                digits = ""
                while i < len(body) and len(digits) < 4 and body[i] in "0123456789abcdefABCDEF":
                    digits += body[i]
                    i += 1
                out.append(chr(int(digits, 16)))
            elif n in "01234567":
                digits = n
                while i < len(body) and len(digits) < 3 and body[i] in "01234567":
                    digits += body[i]
                    i += 1
                out.append(chr(int(digits, 8)))
            else:
                out.append({"n": "\n", "r": "\r", "t": "\t", "a": "\a", "b": "\b",
                            "v": "\v", "f": "\f", "e": "\x1b"}.get(n, n))
            continue
        out.append(c)
        i += 1
    raise ValueError("unterminated string: " + body)


def logical_lines(text):
    """Joins hex continued with a trailing backslash onto one line."""
    lines = text.replace("\r\n", "\n").split("\n")
    joined = []
    for line in lines:
        if joined and joined[-1].endswith("\\") and not joined[-1].rstrip().endswith('"'):
            joined[-1] = joined[-1][:-1] + line.strip()
        else:
            joined.append(line)
    return joined


def parse_data(rest):
    """The type and bytes of what follows '=' in a value line."""
    if rest.startswith('"'):
        text, _ = unescape(rest, 1)
        return 1, utf16z(text)
    if rest.startswith("str("):
        close = rest.index(")")
        text, _ = unescape(rest, close + 3)
        return int(rest[4:close], 16), utf16z(text)
    if rest.startswith("dword:"):
        return 4, int(rest[6:], 16).to_bytes(4, "little")
    if rest.startswith("hex:"):
        kind, digits = 3, rest[4:]
    elif rest.startswith("hex("):
        close = rest.index(")")
        kind, digits = int(rest[4:close], 16), rest[close + 2:]
    else:
        raise ValueError("unknown value form: " + rest)
    digits = digits.replace(" ", "")
    return kind, bytes(int(h, 16) for h in digits.split(",") if h)


def parse_reg(text, registry_file=False):
    """{key path lower-cased: (path, {name lower-cased: (name, type, bytes, form)})}.

    `form` is how the data was written: "text", "dword" or "hex". The default value's
    name is "". In Wine's registry file, key paths escape backslashes and lack the hive."""
    keys = {}
    current = None
    for line in logical_lines(text):
        if not line or line[0] in ";#":
            continue
        if line.startswith("["):
            if registry_file:
                path = "HKEY_CURRENT_USER\\" + unescape(line[1:line.rindex("]")] + '"', 0)[0]
            else:
                path = line[1:line.rindex("]")]
            current = keys.setdefault(path.lower(), (path, {}))[1]
            continue
        if current is None or line.startswith(("@time", "@")) and "=" not in line:
            continue
        if line.startswith("@="):
            name, rest = "", line[2:]
        elif line.startswith('"'):
            name, after = unescape(line, 1)
            rest = line[after + 1:]
        else:
            continue
        kind, data = parse_data(rest)
        form = "text" if rest.startswith('"') else "dword" if rest.startswith("dword:") else "hex"
        current[name.lower()] = (name, kind, data, form)
    return keys


def expected_values(path, key, out, unreadable, keys):
    """Fills out[(path lower, name lower)] and `keys` from the JSON; counts the values the
    library cannot read, or whose key's name it cannot."""
    if key["name"] is None:
        unreadable[0] += count_values(key)
        return
    keys.add(path.lower())
    for v in key["values"]:
        if v["name"] is None or v["data"] is None:
            unreadable[0] += 1
            continue
        out[(path.lower(), v["name"].lower())] = (path, v["name"], v["type"], bytes.fromhex(v["data"]))
    for sub in key["subkeys"]:
        expected_values(path + "\\" + (sub["name"] or ""), sub, out, unreadable, keys)


def wine_adds_terminator(kind, data, got):
    """Wine's regedit ends string data that lacks a zero unit with one on import, from any
    form (Windows' keeps the bytes): such a value cannot come back exactly through Wine."""
    if kind not in STRING_TYPES or not data or (len(data) % 2 == 0 and data[-2:] == b"\0\0"):
        return False
    return got[1] == kind and got[2].startswith(data) and set(got[2][len(data):]) == {0}


def count_values(key):
    return len(key["values"]) + sum(count_values(s) for s in key["subkeys"])


def read_reg(path, code_page="1252"):
    raw = open(path, "rb").read()
    if raw.startswith(b"\xff\xfe"):
        return raw[2:].decode("utf-16-le", "surrogatepass")
    return raw.decode("cp" + code_page, "surrogateescape")


def main():
    expected_json, given, export, user_reg, root, name = sys.argv[1:7]
    options = sys.argv[7:]
    everything = "--all-written" in options
    code_page = "1252"
    for option in options:
        if option.startswith("--code-page="):
            code_page = option.split("=", 1)[1]
    expected = {}
    keys = set()
    unreadable = [0]
    expected_values(root, json.load(open(expected_json, encoding="utf-8")), expected, unreadable,
                    keys)
    written = parse_reg(read_reg(given, code_page))
    given_is_utf16 = open(given, "rb").read(2) == b"\xff\xfe"
    exported = parse_reg(read_reg(export))
    registry = parse_reg(open(user_reg, encoding="utf-8", errors="surrogateescape").read(), True)

    faults = []
    exact = from_registry = not_written = terminated = 0
    for (kpath, vname), (path, shown, kind, data) in sorted(expected.items()):
        if not everything and vname not in written.get(kpath, ("", {}))[1]:
            not_written += 1
            # Only REGEDIT4 may leave out a value the library reads (and says so).
            if given_is_utf16:
                faults.append("not written: %s\\%s" % (path, shown))
            continue
        got = exported.get(kpath, ("", {}))[1].get(vname)
        if got is None:
            faults.append("missing: %s\\%s" % (path, shown))
            continue
        if (got[1], got[2]) == (kind, data):
            exact += 1
            continue
        if got[3] in ("text", "dword"):  # a form that cannot show every stored value
            kept = registry.get(kpath, ("", {}))[1].get(vname)
            if kept is not None and (kept[1], kept[2]) == (kind, data):
                exact += 1
                from_registry += 1
                continue
            got = kept or got
        if wine_adds_terminator(kind, data, got):
            terminated += 1
            continue
        faults.append("differs: %s\\%s: type %d %s, imported type %d %s"
                      % (path, shown, kind, data.hex(), got[1], got[2].hex()))
    for kpath, (path, values) in exported.items():
        if kpath not in keys:
            faults.append("key not expected: " + path)
        for vname, (shown, kind, data, _) in values.items():
            if (kpath, vname) not in expected:
                faults.append("not expected: %s\\%s = type %d %s" % (path, shown, kind, data.hex()))

    print("%s: %d exact / %d read (%d not written, %d checked in the registry file; "
          "%d more whose name or key name the library cannot read)"
          % (name, exact, len(expected), not_written, from_registry, unreadable[0]))
    if terminated:
        print("  %d string values without a final zero unit came back with one added by Wine"
              % terminated)
    for fault in faults[:20]:
        print("  " + fault)
    if len(faults) > 20:
        print("  ... and %d more" % (len(faults) - 20))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
