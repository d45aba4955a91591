"""Read Windows NT registry hive files from Python through the vesk_10 library.

A layer over the 17 flat functions, using ctypes and the standard library only, so the
same package serves libvesk_10.so and the Windows DLL. A Hive owns its handle (use it in
a ``with`` block); Keys and Values are copies of the library's records, read further on
demand, and valid while their Hive is open (after that they raise ValueError).

Opening: a file the system refuses raises the usual OSError subclasses
(FileNotFoundError, PermissionError, IsADirectoryError) with errno and filename; a file
that is no hive this library reads raises a HiveError subclass: NotAHiveError,
WrongVersionError (with the version found), DirtyHiveError (not written out cleanly),
UnsupportedHiveError (other base-block fields), NoRootKeyError. Their texts are
vesk-dump's, from one table (REASONS), and the first rule a file breaks names it: a
dirty hive of another version is refused for its version.

Names are the 8-bit bytes the hive stores, decoded as Latin-1 (a hive stores a name in
8 bits only when every character is below U+0100, so Latin-1 is the exact reading;
``name.encode("latin-1")`` gives the bytes back). The library reads no name stored as
UTF-16: such a value has ``name`` None (and ``name_readable`` false); the unnamed
(default) value has the name "" and ``has_name`` false. A key's ``name`` is what the
library reads even then, as its ``path`` and walk() and open_key() use it.

Data: ``Value.data`` is the stored bytes; ``Value.value`` the typed value, decoded from
those bytes (str, list of str, int or bytes by type), raising ValueDataError for a
number of the wrong size; ``Value.value_or_data()`` the same, giving such a number's
bytes instead of raising. ``Value.text`` is the library's own conversion into the
process's 8-bit code set.

Damage: ``Key.subkeys()`` and ``Key.values()`` apply vesk-dump's checks (vesk.checks):
an element naming no cell in the file, or a cell of the wrong kind, is skipped, never
yielded, and listed in the iterator's ``damage``; no list is read past what the file
holds. ``Hive.walk(on_damage=...)`` reports what each key's lists lost, and a key met
twice, which it does not enter.

Dirty hives: ``Hive(path, logs=True)`` reads a dirty hive as Windows loads it, with
the transaction logs beside it (``log_files=[...]``: those named) applied to a private
in-memory copy, as ``vesk-dump --logs`` does: a DirtyHiveWarning says which logs, how
many entries or pages and the sequence numbers after; ``Hive.recovery`` keeps the same;
LogsNotAppliedError (a DirtyHiveError) says why logs could not be applied (bad or
missing logs, or a system without in-memory files: Linux only). The recovery is the
C++ one, in the companion library libvesk_logs, found as the library is (the
environment variable VESK_LOGS_LIBRARY first). ``Hive(path, ignore_dirty=True)`` reads a
hive whose sequence numbers differ through a private in-memory copy marked clean
(Linux; elsewhere it is refused as dirty), with a DirtyHiveWarning, as ``vesk-dump
--ignore-dirty`` does: without what its logs hold.

Subkeys: the library follows "lf" lists only. ``Key.subkeys_not_read`` counts the
subkeys a key's list hides from it (with ``.reason``), and ``Hive.walk`` warns once per
hive (SubkeysNotReadWarning) when it passes any.

The library is found in this order: the path in the environment variable VESK_LIBRARY;
beside this package; the library directory of the tree it was installed into; a build
directory of the source tree it came from (build/release, build); then the system's
loader.

Every call into the library is made under one lock, so Python threads may share hives;
the library itself serves one thread at a time.
"""

from ._native import (BaseBlock, HiveHandle, KeyListRecord, KeyRecord, ValueListRecord,
                      ValueRecord, library)
from .decoding import (REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_EXPAND_SZ,
                       REG_FULL_RESOURCE_DESCRIPTOR, REG_LINK, REG_MULTI_SZ, REG_NONE,
                       REG_QWORD, REG_RESOURCE_LIST, REG_RESOURCE_REQUIREMENTS_LIST,
                       REG_SZ, TypedValue, type_name)
from .errors import (REASONS, DirtyHiveError, HiveError, LogsNotAppliedError,
                     NoRootKeyError, NotAHiveError, UnsupportedHiveError, ValueDataError,
                     WrongVersionError, reason_text)
from .checks import Damage
from .model import (DirtyHiveWarning, Hive, Key, Listing, SubkeysNotRead,
                    SubkeysNotReadWarning, Value)

__version__ = "1.0.0"

__all__ = [
    "BaseBlock", "HiveHandle", "KeyRecord", "KeyListRecord", "ValueListRecord",
    "ValueRecord", "HiveError", "NotAHiveError", "WrongVersionError", "DirtyHiveError",
    "LogsNotAppliedError", "UnsupportedHiveError", "NoRootKeyError", "ValueDataError", "SubkeysNotRead",
    "SubkeysNotReadWarning", "Hive", "Key", "Value", "Listing", "Damage",
    "DirtyHiveWarning", "library", "REASONS", "reason_text",
    "TypedValue", "type_name",
    "REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
    "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST",
    "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD",
]
