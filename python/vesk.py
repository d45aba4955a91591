"""Read Windows NT registry hive files from Python through the vesk_10 library.

A thin layer over the 17 flat functions, using ctypes only. A Hive owns its handle
(use it in a ``with`` block); Keys and Values are copies of the library's records and
are valid while their Hive is open. Every text the library returns is copied at once,
because the library keeps a text only until its next text-returning call.

Text:
  * Names (keys, values, subkey hints) are the 8-bit bytes stored in the hive, decoded
    as Latin-1 by default. A hive stores a name in 8 bits only when every character is
    below U+0100, keeping the low byte, so Latin-1 is the exact reading and never fails;
    ``name.encode("latin-1")`` gives the stored bytes back. Pass ``name_encoding`` to
    Hive to choose another.
  * String data (``Value.text``) is converted by the library from UTF-16LE to the
    process's 8-bit code set (LC_CTYPE on POSIX, the ANSI code page on Windows), so it
    is decoded with that same code set. ``Value.data.decode("utf-16-le")`` reads the
    stored text without any conversion.

The library is found in this order: the path in the environment variable
VESK_LIBRARY; beside this module; the library directory of the tree this module was
installed into (<libdir>/python3/dist-packages/vesk.py); a build directory of the
source tree it came from (build/release, build); then the system's loader.

Every call into the library is made under one lock, so Python threads may share hives;
the library itself serves one thread at a time.
"""

import ctypes
import locale
import os
import sys
import threading

__all__ = [
    "BaseBlock", "HiveHandle", "KeyRecord", "KeyListRecord", "ValueListRecord",
    "ValueRecord", "HiveError", "Hive", "Key", "Value", "library",
]

_u8, _u16, _u32 = ctypes.c_uint8, ctypes.c_uint16, ctypes.c_uint32
_i16, _i32 = ctypes.c_int16, ctypes.c_int32


class BaseBlock(ctypes.Structure):
    """The first 512 bytes of a hive file, as kept in the handle."""
    _pack_ = 1
    _fields_ = [
        ("signature", _u32),
        ("primary_sequence", _u32),
        ("secondary_sequence", _u32),
        ("last_written_low", _u32),
        ("last_written_high", _u32),
        ("major_version", _u32),
        ("minor_version", _u32),
        ("file_type", _u32),
        ("file_format", _u32),
        ("root_cell", _u32),
        ("hive_bins_size", _u32),
        ("clustering_factor", _u32),
        ("file_name", _u8 * 64),
        ("reserved", _u8 * 396),
        ("checksum", _u32),
    ]


class HiveHandle(ctypes.Structure):
    _pack_ = 1
    _fields_ = [
        ("file", _u32),
        ("file_size", _i32),
        ("base_block", BaseBlock),
    ]


class KeyRecord(ctypes.Structure):
    _pack_ = 1
    _fields_ = [
        ("offset", _u32),
        ("signature", _u16),
        ("flags", _u16),
        ("last_written_low", _u32),
        ("last_written_high", _u32),
        ("access_bits", _u32),
        ("parent", _u32),
        ("subkey_count", _i32),
        ("volatile_subkey_count", _i32),
        ("subkey_list", _u32),
        ("volatile_subkey_list", _u32),
        ("value_count", _i32),
        ("value_list", _u32),
        ("security", _u32),
        ("class_name", _u32),
        ("max_subkey_name_length", _u32),
        ("max_subkey_class_length", _u32),
        ("max_value_name_length", _u32),
        ("max_value_data_size", _u32),
        ("work_variable", _u32),
        ("name_length", _u16),
        ("class_name_length", _u16),
    ]


class KeyListRecord(ctypes.Structure):
    _pack_ = 1
    _fields_ = [
        ("offset", _u32),
        ("signature", _u16),
        ("count", _i16),
    ]


class ValueListRecord(ctypes.Structure):
    _pack_ = 1
    _fields_ = [
        ("offset", _u32),
        ("count", _i32),
    ]


class ValueRecord(ctypes.Structure):
    _pack_ = 1
    _fields_ = [
        ("offset", _u32),
        ("signature", _u16),
        ("name_length", _u16),
        ("data_size", _u32),
        ("data_offset", _u32),
        ("data_type", _u32),
        ("flags", _u16),
    ]


# The records are fixed images shared with the library; a wrong field shifts them all.
for _record, _size in ((BaseBlock, 512), (HiveHandle, 520), (KeyRecord, 80),
                       (KeyListRecord, 8), (ValueListRecord, 8), (ValueRecord, 22)):
    assert ctypes.sizeof(_record) == _size, (_record.__name__, ctypes.sizeof(_record))

_P = ctypes.POINTER
_PROTOTYPES = {
    "OpenRegistryFile": (_P(HiveHandle), [ctypes.c_char_p]),
    "CloseRegistryFile": (_i32, [_P(HiveHandle)]),
    "SearchRootKey": (_i32, [_P(HiveHandle), _P(KeyRecord)]),
    "CountSubKeys": (_i32, [_P(KeyRecord)]),
    "CountValues": (_i32, [_P(KeyRecord)]),
    "GetRegKeyName": (ctypes.c_char_p, [_P(HiveHandle), _P(KeyRecord)]),
    "GetSubKeyList": (_i32, [_P(HiveHandle), _P(KeyRecord), _P(KeyListRecord)]),
    "CountKeyList": (_i32, [_P(KeyListRecord)]),
    "GetSubKey": (ctypes.c_char_p, [_P(HiveHandle), _P(KeyListRecord), _i32, _P(KeyRecord)]),
    "GetValueList": (_i32, [_P(HiveHandle), _P(KeyRecord), _P(ValueListRecord)]),
    "GetValue": (_i32, [_P(HiveHandle), _P(ValueListRecord), _i32, _P(ValueRecord)]),
    "GetValueName": (ctypes.c_char_p, [_P(HiveHandle), _P(ValueRecord)]),
    "GetValueType": (_i32, [_P(HiveHandle), _P(ValueRecord)]),
    "GetValueDataLength": (_i32, [_P(HiveHandle), _P(ValueRecord)]),
    "GetValueString": (ctypes.c_char_p, [_P(HiveHandle), _P(ValueRecord)]),
    "GetValueData": (_i32, [_P(HiveHandle), _P(ValueRecord), ctypes.c_void_p]),
    "GetValueDword": (_u32, [_P(HiveHandle), _P(ValueRecord)]),
}

_WINDOWS = os.name == "nt"
_FILE_NAMES = ["vesk_10.dll"] if _WINDOWS else ["libvesk_10.so.1", "libvesk_10.so"]
_lock = threading.RLock()
_library = None


def _candidates():
    named = os.environ.get("VESK_LIBRARY")
    if named:
        yield named
        return
    here = os.path.dirname(os.path.abspath(__file__))
    for folder in (here,
                   os.path.join(here, os.pardir, os.pardir),
                   os.path.join(here, os.pardir, "build", "release"),
                   os.path.join(here, os.pardir, "build")):
        for name in _FILE_NAMES:
            path = os.path.normpath(os.path.join(folder, name))
            if os.path.isfile(path):
                yield path
    yield from _FILE_NAMES  # the system's loader searches its own paths


def library():
    """The loaded library, with all 17 functions declared; loaded on first use.

    Raises OSError naming every place tried when none of them loads.
    """
    global _library
    with _lock:
        if _library is not None:
            return _library
        # The 32-bit DLL uses stdcall; on every other target the C convention.
        loader = ctypes.WinDLL if _WINDOWS else ctypes.CDLL
        tried = []
        for candidate in _candidates():
            try:
                lib = loader(candidate)
            except OSError as error:
                tried.append("%s (%s)" % (candidate, error))
                continue
            for name, (restype, argtypes) in _PROTOTYPES.items():
                function = getattr(lib, name)
                function.restype = restype
                function.argtypes = argtypes
            _library = lib
            return lib
        raise OSError("vesk_10 library not found; tried: " + "; ".join(tried))


def _call(name, *args):
    # A text result (c_char_p) is copied into bytes inside this call, under the lock,
    # before any other call can overwrite the library's result area.
    with _lock:
        return getattr(library(), name)(*args)


def _text_code_set():
    """The code set the library converts string data into at this moment."""
    if _WINDOWS:
        getencoding = getattr(locale, "getencoding", None)  # Python 3.11+
        return getencoding() if getencoding else locale.getpreferredencoding(False)
    return locale.nl_langinfo(locale.CODESET) or "latin-1"


def _decode(raw, encoding):
    try:
        return raw.decode(encoding, "replace")
    except LookupError:  # a code set Python has no codec for
        return raw.decode("latin-1")


# Case folding as the registry compares names: ASCII and the Latin-1 letters.
_FOLD = bytes(c - 0x20 if (0x61 <= c <= 0x7A or (0xE0 <= c <= 0xFE and c != 0xF7)) else c
              for c in range(256))


def _folded(raw):
    return raw.translate(_FOLD)


class HiveError(OSError):
    """The file cannot be opened, or it is not a hive the library reads."""


class Hive:
    """An open hive file. Close it, or use it as a context manager."""

    def __init__(self, path, name_encoding="latin-1"):
        self.path = path
        self.name_encoding = name_encoding
        raw_path = path if isinstance(path, bytes) else os.fspath(path)
        if isinstance(raw_path, str):
            # The library takes a path in the system's 8-bit code page.
            raw_path = raw_path.encode("mbcs") if _WINDOWS else os.fsencode(raw_path)
        handle = _call("OpenRegistryFile", raw_path)
        if not handle:
            raise HiveError("cannot open %r as a version 1.3 registry hive" % (path,))
        self._handle = handle

    def close(self):
        handle, self._handle = self._handle, None
        if handle:
            _call("CloseRegistryFile", handle)

    @property
    def closed(self):
        return self._handle is None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        if getattr(self, "_handle", None) is not None and not sys.is_finalizing():
            self.close()

    def handle(self):
        """The library's handle; raises ValueError once the hive is closed."""
        if self._handle is None:
            raise ValueError("the hive is closed")
        return self._handle

    @property
    def file_size(self):
        return self.handle().contents.file_size

    @property
    def base_block(self):
        """A copy of the file's base block."""
        return BaseBlock.from_buffer_copy(self.handle().contents.base_block)

    @property
    def root(self):
        """The root key, or None when the library finds none."""
        record = KeyRecord()
        if _call("SearchRootKey", self.handle(), ctypes.byref(record)) == 0:
            return None
        return Key(self, record)

    def open_key(self, path):
        """The key at a backslash-separated path below the root, ignoring case.

        "" is the root itself; None when a step is absent.
        """
        key = self.root
        for step in path.split("\\"):
            if key is None:
                break
            if step:
                key = key.subkey(step)
        return key

    def walk(self):
        """Yields (path, key) for every key, depth first, each key before its subkeys.

        The root's path is ""; below it, names joined by backslashes, as open_key takes
        them. A key met a second time (only a damaged hive links one twice) is skipped,
        so the walk always ends.
        """
        root = self.root
        if root is None:
            return
        seen = {root.offset}
        yield "", root
        pending = [("", root.subkeys())]
        while pending:
            path, subkeys = pending[-1]
            key = next(subkeys, None)
            if key is None:
                pending.pop()
                continue
            if key.offset in seen:
                continue
            seen.add(key.offset)
            key_path = key.name if not path else path + "\\" + key.name
            yield key_path, key
            pending.append((key_path, key.subkeys()))


class Key:
    """A key of an open hive: a copy of its record, read further on demand."""

    def __init__(self, hive, record, hint=b""):
        self.hive = hive
        self.record = record
        self.raw_hint = hint

    def _h(self):
        return self.hive.handle()

    @property
    def offset(self):
        """The file offset of the key's node: the same key always has the same one."""
        return self.record.offset

    @property
    def raw_name(self):
        return _call("GetRegKeyName", self._h(), ctypes.byref(self.record))

    @property
    def name(self):
        return _decode(self.raw_name, self.hive.name_encoding)

    @property
    def subkey_count(self):
        return _call("CountSubKeys", ctypes.byref(self.record))

    @property
    def value_count(self):
        return _call("CountValues", ctypes.byref(self.record))

    def subkeys(self):
        """Iterates over the subkeys, reading each one as it is reached."""
        hive, handle = self.hive, self._h()
        key_list = KeyListRecord()
        count = _call("GetSubKeyList", handle, ctypes.byref(self.record),
                      ctypes.byref(key_list))
        for index in range(max(count, 0)):
            record = KeyRecord()
            hint = _call("GetSubKey", hive.handle(), ctypes.byref(key_list), index,
                         ctypes.byref(record))
            yield Key(hive, record, hint)

    def values(self):
        """Iterates over the values, reading each one as it is reached."""
        hive, handle = self.hive, self._h()
        value_list = ValueListRecord()
        count = _call("GetValueList", handle, ctypes.byref(self.record),
                      ctypes.byref(value_list))
        for index in range(max(count, 0)):
            record = ValueRecord()
            data_type = _call("GetValue", hive.handle(), ctypes.byref(value_list), index,
                              ctypes.byref(record))
            yield Value(hive, record, data_type & 0xFFFFFFFF)

    def subkey(self, name):
        """The subkey called `name`, ignoring case, or None.

        The list holds each subkey's name hint (its first four characters), so first
        only subkeys whose hint matches have their full names read. A hint need not
        match the name the library reads (a name stored in UTF-16 reads as its bytes),
        so a name not found that way is looked for among all the names.
        """
        wanted = _folded(name.encode(self.hive.name_encoding))
        for key in self.subkeys():
            if _folded(key.raw_hint) == wanted[:4] and _folded(key.raw_name) == wanted:
                return key
        for key in self.subkeys():
            if _folded(key.raw_name) == wanted:
                return key
        return None

    def value(self, name):
        """The value called `name`, ignoring case, or None ("{default}" for the unnamed)."""
        wanted = _folded(name.encode(self.hive.name_encoding))
        for value in self.values():
            if _folded(value.raw_name) == wanted:
                return value
        return None

    def __repr__(self):
        return "<vesk.Key %r at 0x%x>" % (self.name, self.offset)


class Value:
    """A value of an open hive: a copy of its record, read further on demand."""

    def __init__(self, hive, record, data_type):
        self.hive = hive
        self.record = record
        self.type = data_type

    def _h(self):
        return self.hive.handle()

    @property
    def offset(self):
        return self.record.offset

    @property
    def has_name(self):
        """Whether a name is stored; the unnamed value is the key's default."""
        return bool(self.record.flags & 1)

    @property
    def raw_name(self):
        return _call("GetValueName", self._h(), ctypes.byref(self.record))

    @property
    def name(self):
        """The value's name, or "{default}" for the unnamed one."""
        return _decode(self.raw_name, self.hive.name_encoding)

    @property
    def length(self):
        """The data size in bytes."""
        # The library clears the inline bit of the record it is given; give it a copy.
        record = ValueRecord.from_buffer_copy(self.record)
        return _call("GetValueDataLength", self._h(), ctypes.byref(record))

    @property
    def dword(self):
        """The 32-bit number: inline data whole, otherwise the first 4 bytes of the data."""
        return _call("GetValueDword", self._h(), ctypes.byref(self.record))

    @property
    def data(self):
        """The stored bytes, or None when the size cannot be true (past the file's end)."""
        size = self.length
        if size <= 4:
            # Up to 4 bytes live in the record's own field, little-endian.
            return self.dword.to_bytes(4, "little")[:max(size, 0)]
        if size > self.hive.file_size:
            return None
        buffer = ctypes.create_string_buffer(size)
        if _call("GetValueData", self._h(), ctypes.byref(self.record), buffer) == 0:
            return None
        return buffer.raw

    @property
    def text(self):
        """The data read as UTF-16LE up to its first NUL, as converted by the library."""
        record = ValueRecord.from_buffer_copy(self.record)
        raw = _call("GetValueString", self._h(), ctypes.byref(record))
        return _decode(raw, _text_code_set())

    def __repr__(self):
        return "<vesk.Value %r type %d>" % (self.name, self.type)
