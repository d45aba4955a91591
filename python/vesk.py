"""Read Windows NT registry hive files from Python through the vesk_10 library.

A layer over the 17 flat functions, using ctypes and the standard library only, so the
same file serves libvesk_10.so and the Windows DLL. A Hive owns its handle (use it in a
``with`` block); Keys and Values are copies of the library's records, read further on
demand, and valid while their Hive is open (after that they raise ValueError).

Opening: a file the system refuses raises the usual OSError subclasses
(FileNotFoundError, PermissionError, IsADirectoryError) with errno and filename; a file
that is no hive this library reads raises a HiveError subclass: NotAHiveError,
WrongVersionError (with the version found), DirtyHiveError (not written out cleanly),
UnsupportedHiveError (other base-block fields), NoRootKeyError. Their texts are
vesk-dump's.

Names are the 8-bit bytes the hive stores, decoded as Latin-1 (a hive stores a name in
8 bits only when every character is below U+0100, so Latin-1 is the exact reading;
``name.encode("latin-1")`` gives the bytes back). The library reads no name stored as
UTF-16: such a key or value has ``name_readable`` false. The unnamed (default) value has
the name "" and ``has_name`` false.

Data: ``Value.data`` is the stored bytes; ``Value.value`` the typed value, decoded from
those bytes (str, list of str, int or bytes by type). ``Value.text`` is the library's own
conversion into the process's 8-bit code set.

Subkeys: the library follows "lf" lists only. ``Key.subkeys_not_read`` counts the
subkeys a key's list hides from it (with ``.reason``), and ``Hive.walk`` warns once per
hive (SubkeysNotReadWarning) when it passes any.

The library is found in this order: the path in the environment variable VESK_LIBRARY;
beside this module; the library directory of the tree this module was installed into;
a build directory of the source tree it came from (build/release, build); then the
system's loader.

Every call into the library is made under one lock, so Python threads may share hives;
the library itself serves one thread at a time.
"""

import ctypes
import datetime
import errno
import locale
import os
import stat
import struct
import sys
import threading
import warnings

__all__ = [
    "BaseBlock", "HiveHandle", "KeyRecord", "KeyListRecord", "ValueListRecord",
    "ValueRecord", "HiveError", "NotAHiveError", "WrongVersionError", "DirtyHiveError",
    "UnsupportedHiveError", "NoRootKeyError", "ValueDataError", "SubkeysNotRead",
    "SubkeysNotReadWarning", "Hive", "Key", "Value", "library",
    "REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
    "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST",
    "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD",
]

# The registry's value types by number; the library passes types through untouched.
REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN = range(6)
REG_LINK, REG_MULTI_SZ, REG_RESOURCE_LIST, REG_FULL_RESOURCE_DESCRIPTOR = range(6, 10)
REG_RESOURCE_REQUIREMENTS_LIST, REG_QWORD = 10, 11
_TYPE_NAMES = ["REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
               "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST",
               "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD"]

# Facts of the records, as vesk_10.h and vesk/hive.hpp name them.
_KEY_NAME_IS_8BIT_FLAG = 0x0020    # KeyRecord.flags
_VALUE_NAME_IS_8BIT_FLAG = 0x0001  # ValueRecord.flags
_VALUE_DATA_INLINE_FLAG = 0x80000000  # ValueRecord.data_size
_SIG_LF_LIST = 0x666C              # KeyListRecord.signature of an "lf" list

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
# Reentrant: a Hive that the garbage collector finishes while this thread holds the lock
# (collection can start at any allocation) closes its handle from inside a locked call.
_lock = threading.RLock()
_library = None


class _Functions:
    """The 17 functions as this module calls them: looked up once, and declared with
    their result type only. A walk makes thousands of calls, and checking each
    argument against argtypes cost more than the library's own work; so every call
    here passes ctypes objects only (byref of a record, the handle, a buffer, a small
    int), which ctypes hands over as they are."""

    def __init__(self, lib):
        prototype = ctypes.WINFUNCTYPE if _WINDOWS else ctypes.CFUNCTYPE
        for name, (restype, _) in _PROTOTYPES.items():
            setattr(self, name, prototype(restype)((name, lib)))


_f = None  # the _Functions of the loaded library
_data_buffer = ctypes.create_string_buffer(4096)


def _candidates():
    named = os.environ.get("VESK_LIBRARY")
    if named:
        yield named
        return
    here = os.path.dirname(os.path.abspath(__file__))
    folders = [here]
    # Installed as <prefix>/lib/python3*/dist-packages/vesk.py (or site-packages): the
    # library is in <prefix>/lib.
    folders.append(os.path.join(here, os.pardir, os.pardir))
    folders += [os.path.join(here, os.pardir, "build", "release"),
                os.path.join(here, os.pardir, "build")]
    for folder in folders:
        for name in _FILE_NAMES:
            path = os.path.normpath(os.path.join(folder, name))
            if os.path.isfile(path):
                yield path
    yield from _FILE_NAMES  # the system's loader searches its own paths


def library():
    """The loaded library, with all 17 functions declared; loaded on first use.

    Raises OSError naming every place tried when none of them loads.
    """
    global _library, _f
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
            _f = _Functions(lib)
            _library = lib
            return lib
        raise OSError("vesk_10 library not found; tried: " + "; ".join(tried))


def _text_code_set():
    """The code set the library converts string data into at this moment."""
    if _WINDOWS:
        getencoding = getattr(locale, "getencoding", None)  # Python 3.11+
        return getencoding() if getencoding else locale.getpreferredencoding(False)
    return locale.nl_langinfo(locale.CODESET) or "latin-1"


def _decode(raw, encoding):
    if encoding == "latin-1":
        return raw.decode("latin-1")  # never fails: every byte is a character
    try:
        return raw.decode(encoding, "replace")
    except LookupError:  # a code set Python has no codec for
        return raw.decode("latin-1")


# Case folding as the registry compares names: ASCII and the Latin-1 letters.
_FOLD = bytes(c - 0x20 if (0x61 <= c <= 0x7A or (0xE0 <= c <= 0xFE and c != 0xF7)) else c
              for c in range(256))


def _folded(raw):
    return raw.translate(_FOLD)


# --- Why a file was refused -------------------------------------------------------------

class HiveError(OSError):
    """The file opened, but it is not a hive this library reads. ``reason`` says why, in
    vesk-dump's words; ``filename`` is the path given."""

    def __init__(self, reason, filename=None):
        super().__init__(reason)
        self.reason = reason
        self.filename = filename

    def __str__(self):
        return "%s: %s" % (self.filename, self.reason) if self.filename is not None \
            else self.reason


class NotAHiveError(HiveError):
    """Too short for a base block, no "regf" signature, or not a regular file."""


class UnsupportedHiveError(HiveError):
    """A hive, but of a kind the library does not read (file type, format, clustering)."""


class WrongVersionError(UnsupportedHiveError):
    """A hive of another format version; ``version`` is the (major, minor) found."""

    def __init__(self, reason, filename=None, version=None):
        super().__init__(reason, filename)
        self.version = version


class DirtyHiveError(HiveError):
    """The hive was not written out cleanly: ``sequences`` (primary, secondary) differ."""

    def __init__(self, reason, filename=None, sequences=None):
        super().__init__(reason, filename)
        self.sequences = sequences


class NoRootKeyError(HiveError):
    """The library found no root key where it looks for one."""


class ValueDataError(ValueError):
    """A number's data is not the size its type holds; ``Value.data`` still has it."""


# The base block's fields that decide, in the order the library applies its rules.
_BASE_BLOCK_BYTES = 4096
_BASE_FIELDS = struct.Struct("<4sIIQIIIIIII")  # signature .. clustering factor
_FIRST_BIN_AT = 4096
_ROOT_CELL_AT = _FIRST_BIN_AT + 36  # contents of the first cell of the first bin
_ROOT_FLAGS = 0x2C


def _system_error(error, path):
    """The same OSError subclass, naming the path as the caller gave it."""
    return OSError(error.errno, error.strerror, path)


def _read_head(path, raw_path, count):
    """(first bytes, size) of the file; raises what the system refuses."""
    try:
        status = os.stat(raw_path)
    except OSError as error:
        raise _system_error(error, path) from None
    if stat.S_ISDIR(status.st_mode):
        raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), path)
    if not stat.S_ISREG(status.st_mode):
        raise NotAHiveError("cannot open: not a regular file", path)
    try:
        with open(raw_path, "rb") as f:
            head = f.read(count)
    except OSError as error:
        raise _system_error(error, path) from None
    # The library sees the low 32 bits of the size, as a signed number.
    size = status.st_size & 0xFFFFFFFF
    return head, size - (1 << 32) if size & 0x80000000 else size


def _not_opened(path, raw_path):
    """The exception that says why OpenRegistryFile refused the file."""
    head, size = _read_head(path, raw_path, 512)
    if size < _BASE_BLOCK_BYTES:
        return NotAHiveError("not a hive: %d bytes, shorter than the %d-byte base block every"
                             " hive starts with" % (size, _BASE_BLOCK_BYTES), path)
    (signature, primary, secondary, _, major, minor, file_type, file_format, _, _,
     clustering) = _BASE_FIELDS.unpack_from(head.ljust(512, b"\0"))
    if signature != b"regf":
        return NotAHiveError('not a hive: it does not start with "regf"', path)
    if primary != secondary:
        return DirtyHiveError(
            "the hive was not written out cleanly: its sequence numbers %d and %d differ"
            " (a write was cut short; its transaction logs hold the rest)"
            % (primary, secondary), path, (primary, secondary))
    if (major, minor) != (1, 3):
        return WrongVersionError("version %d.%d: only version 1.3 hives can be read"
                                 % (major, minor), path, (major, minor))
    if file_type != 0:
        return UnsupportedHiveError("file type %d: only primary hive files (type 0) can be"
                                    " read" % file_type, path)
    if file_format != 1:
        return UnsupportedHiveError("file format %d: only format 1 can be read" % file_format,
                                    path)
    if clustering != 1:
        return UnsupportedHiveError("clustering factor %d: only 1 can be read" % clustering,
                                    path)
    return HiveError("the library refused it, though its base block looks right (did the"
                     " file change?)", path)


def _no_root(path, raw_path):
    """The NoRootKeyError that says why SearchRootKey found no root key."""
    head, _ = _read_head(path, raw_path, _ROOT_CELL_AT + 4)
    lead = "no root key: it must be the first cell of the first bin, and "
    if len(head) < _FIRST_BIN_AT + 4:
        why = lead + "the file ends before that bin"
    elif head[_FIRST_BIN_AT:_FIRST_BIN_AT + 4] != b"hbin":
        why = lead + 'the first bin has no "hbin" signature'
    elif len(head) < _ROOT_CELL_AT + 4:
        why = lead + "the file ends inside that bin"
    elif head[_ROOT_CELL_AT:_ROOT_CELL_AT + 2] != b"nk":
        why = lead + "that cell is no key node"
    else:
        flags = struct.unpack_from("<H", head, _ROOT_CELL_AT + 2)[0]
        if flags != _ROOT_FLAGS:
            why = lead + "that cell is a key with flags 0x%04X, where the root key has 0x%04X" \
                % (flags, _ROOT_FLAGS)
        else:
            why = "no root key: the library found none"
    return NoRootKeyError(why, path)


# --- Typed values -----------------------------------------------------------------------

def _utf16(data):
    """UTF-16LE code units as str, up to the first NUL. An odd last byte is no code unit
    and is left out; an unpaired surrogate is kept as it is (surrogatepass), so nothing
    stored is lost or replaced."""
    text = data[:len(data) & ~1].decode("utf-16-le", "surrogatepass")
    end = text.find("\0")
    return text if end < 0 else text[:end]


def _utf16_list(data):
    """REG_MULTI_SZ: the strings up to the first empty one (the list's end), the last
    kept even without its terminator."""
    strings = []
    for s in data[:len(data) & ~1].decode("utf-16-le", "surrogatepass").split("\0"):
        if not s:
            break
        strings.append(s)
    return strings


_NUMBERS = {REG_DWORD: (4, "little"), REG_DWORD_BIG_ENDIAN: (4, "big"),
            REG_QWORD: (8, "little")}


def _typed(data_type, data):
    if data is None:
        return None
    if data_type == REG_SZ or data_type == REG_EXPAND_SZ:
        return _utf16(data)
    if data_type == REG_MULTI_SZ:
        return _utf16_list(data)
    if data_type == REG_DWORD and len(data) == 4:  # the common case first
        return int.from_bytes(data, "little")
    number = _NUMBERS.get(data_type)
    if number is None:
        return data
    size, order = number
    if len(data) != size:
        raise ValueDataError("%s data of %d bytes; a %s holds %d"
                             % (_TYPE_NAMES[data_type], len(data), _TYPE_NAMES[data_type], size))
    return int.from_bytes(data, order)


_FILETIME_EPOCH = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)


def _filetime(low, high):
    try:
        return _FILETIME_EPOCH + datetime.timedelta(microseconds=((high << 32) | low) // 10)
    except OverflowError:  # after the year 9999
        return None


class SubkeysNotRead(int):
    """How many subkeys a key's list hides from the library (0: none), with ``reason``."""

    def __new__(cls, count, reason=None):
        self = super().__new__(cls, count)
        self.reason = reason
        return self

    def __repr__(self):
        return "SubkeysNotRead(%d, %r)" % (self, self.reason)


class SubkeysNotReadWarning(UserWarning):
    """A walk passed keys whose subkeys the library does not read."""


def _list_problem(counted, key_list, listed):
    """SubkeysNotRead for a key that counts `counted` subkeys, given its list."""
    if counted <= 0:
        return SubkeysNotRead(0)
    signature = key_list.signature
    if signature != _SIG_LF_LIST:
        pair = signature.to_bytes(2, "little")
        if all(0x61 <= c <= 0x7A for c in pair):
            what = 'is an "%s" list, which the library does not read' % pair.decode("ascii")
        else:
            what = 'has no "lf" signature (0x%04x)' % signature
        return SubkeysNotRead(counted, "its %d subkeys are not read: their list %s"
                              % (counted, what))
    if listed < counted:
        return SubkeysNotRead(counted - max(listed, 0),
                              "counts %d subkeys, but its list holds %d" % (counted, listed))
    return SubkeysNotRead(0)



# --- Hives, keys and values -------------------------------------------------------------

def _closed():
    return ValueError("the hive is closed")


def _handle_of(hive):
    """The hive's handle, taken under the lock so that no other thread closes it
    during the call that follows; raises ValueError once the hive is closed."""
    handle = hive._handle
    if handle is None:
        raise _closed()
    return handle


class Hive:
    """An open hive file. Close it, or use it as a context manager.

    Raises OSError (FileNotFoundError, PermissionError, IsADirectoryError) when the
    system refuses the file, and a HiveError when it is no hive the library reads or
    has no root key.
    """

    def __init__(self, path, name_encoding="latin-1"):
        self.path = path
        self.name_encoding = name_encoding
        self._handle = None
        self._warned = False
        raw_path = path if isinstance(path, bytes) else os.fspath(path)
        if isinstance(raw_path, str):
            # The library takes a path in the system's 8-bit code page.
            raw_path = raw_path.encode("mbcs") if _WINDOWS else os.fsencode(raw_path)
        library()
        with _lock:
            handle = _f.OpenRegistryFile(raw_path)
        if not handle:
            raise _not_opened(path, raw_path)
        self._handle = handle
        self._file_size = handle.contents.file_size  # fixed once the hive is open
        record = KeyRecord()
        with _lock:
            found = _f.SearchRootKey(handle, ctypes.byref(record))
        if not found:
            self.close()
            raise _no_root(path, raw_path)
        self._root = Key(self, record)

    def close(self):
        with _lock:
            handle, self._handle = self._handle, None
            if handle:
                _f.CloseRegistryFile(handle)

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
            raise _closed()
        return self._handle

    @property
    def file_size(self):
        self.handle()
        return self._file_size

    @property
    def base_block(self):
        """A copy of the file's base block."""
        return BaseBlock.from_buffer_copy(self.handle().contents.base_block)

    @property
    def root(self):
        """The root key."""
        self.handle()
        return self._root

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
        so the walk always ends. Passing a key whose list hides subkeys from the library
        (Key.subkeys_not_read) warns once per hive with SubkeysNotReadWarning.
        """
        root = self.root
        seen = {root.record.offset}
        yield "", root
        pending = [("", self._children(root, ""))]
        while pending:
            path, subkeys = pending[-1]
            key = next(subkeys, None)
            if key is None:
                pending.pop()
                continue
            record = key.record
            if record.offset in seen:
                continue
            seen.add(record.offset)
            name = key.name
            key_path = path + "\\" + name if path else name
            yield key_path, key
            # Most keys are leaves: they need no list read, nor an iterator.
            if record.subkey_count > 0:
                pending.append((key_path, self._children(key, key_path)))

    def _children(self, key, path):
        key_list, listed = key._list()
        if not self._warned and (listed < key.record.subkey_count or
                                 key_list.signature != _SIG_LF_LIST):
            hidden = _list_problem(key.record.subkey_count, key_list, listed)
            if hidden:
                self._warned = True
                warnings.warn(SubkeysNotReadWarning(
                    "%s: the library does not read every subkey; the walk leaves out those"
                    " of key %r and perhaps more (Key.subkeys_not_read tells for each): %s"
                    % (self.path, path, hidden.reason)), stacklevel=3)
        return key._subkeys_of(key_list, listed, names=True)


class Key:
    """A key of an open hive: a copy of its record, read further on demand."""

    __slots__ = ("hive", "record", "raw_hint", "_raw_name", "_ref")

    def __init__(self, hive, record, hint=b""):
        self.hive = hive
        self.record = record
        self.raw_hint = hint
        self._raw_name = None
        self._ref = ctypes.byref(record)

    @property
    def offset(self):
        """The file offset of the key's node: the same key always has the same one."""
        return self.record.offset

    @property
    def raw_name(self):
        """The name's bytes as the library reads them, read once."""
        raw = self._raw_name
        if raw is None:
            with _lock:
                handle = _handle_of(self.hive)
                raw = self._raw_name = _f.GetRegKeyName(handle, self._ref)
        return raw

    @property
    def name(self):
        raw = self._raw_name
        return _decode(self.raw_name if raw is None else raw, self.hive.name_encoding)

    @property
    def name_readable(self):
        """Whether the name is stored as 8-bit text and read whole. The library reads a
        name stored as UTF-16 only up to its first zero byte."""
        record = self.record
        return bool(record.flags & _KEY_NAME_IS_8BIT_FLAG) and \
            len(self.raw_name) == record.name_length

    @property
    def last_written(self):
        """When the key was last written, as an aware UTC datetime (None after 9999)."""
        return _filetime(self.record.last_written_low, self.record.last_written_high)

    @property
    def subkey_count(self):
        """The number of subkeys the key counts, whether the library reads them or not."""
        return self.record.subkey_count

    @property
    def value_count(self):
        return self.record.value_count

    def _list(self):
        """The subkey list record and the number of subkeys the library reads from it."""
        key_list = KeyListRecord()
        # A key that counts no subkeys has none, as Windows reads it (and as vesk-dump).
        if self.record.subkey_count <= 0:
            return key_list, 0
        with _lock:
            handle = _handle_of(self.hive)
            return key_list, _f.GetSubKeyList(handle, self._ref, ctypes.byref(key_list))

    def _subkeys_of(self, key_list, listed, names=False):
        # Every subkey's record (and with `names`, its name) is read at once, under one
        # taking of the lock: a list holds at most 32767 elements.
        hive = self.hive
        keys = []
        with _lock:
            handle = _handle_of(hive)
            get, get_name, list_ref = _f.GetSubKey, _f.GetRegKeyName, ctypes.byref(key_list)
            for index in range(listed):
                key = Key(hive, KeyRecord())
                key.raw_hint = get(handle, list_ref, index, key._ref)
                if names:
                    key._raw_name = get_name(handle, key._ref)
                keys.append(key)
        return iter(keys)

    def subkeys(self):
        """Iterates over the subkeys the library reads, reading each as it is reached."""
        return self._subkeys_of(*self._list())

    @property
    def subkeys_not_read(self):
        """SubkeysNotRead: how many subkeys the key counts that its list hides from the
        library (0 when none), with the reason ("lh" list, fewer listed than counted)."""
        key_list, listed = self._list()
        return _list_problem(self.record.subkey_count, key_list, listed)

    def values(self):
        """Iterates over the values. Their records and names are read at once, under one
        taking of the lock; their data on demand."""
        hive = self.hive
        if self.record.value_count <= 0:  # GetValueList would say 0 without a read
            if hive._handle is None:
                raise _closed()
            return iter(())
        value_list = ValueListRecord()
        values = []
        with _lock:
            handle = _handle_of(hive)
            get, get_name, list_ref = _f.GetValue, _f.GetValueName, ctypes.byref(value_list)
            # A count the file makes absurd ends with the file: GetValue reads zeros
            # past its end, and no more records are made than the list could hold.
            count = min(_f.GetValueList(handle, self._ref, list_ref), hive._file_size // 4)
            append, byref, flag = values.append, ctypes.byref, _VALUE_NAME_IS_8BIT_FLAG
            for index in range(count):
                value = _new_value(Value)  # the slots set here are all __init__ would set
                value.hive = hive
                record = value.record = ValueRecord()
                ref = value._ref = byref(record)
                get(handle, list_ref, index, ref)
                value._raw_name = get_name(handle, ref) \
                    if record.flags & flag and record.name_length else b""
                append(value)
        return iter(values)

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
        """The value called `name`, ignoring case, or None; "" is the unnamed value.
        Values whose names the library cannot read are never found."""
        wanted = _folded(name.encode(self.hive.name_encoding))
        for value in self.values():
            if value.name_readable and _folded(value.raw_name) == wanted:
                return value
        return None

    def __repr__(self):
        return "<vesk.Key %r at 0x%x>" % (self.name, self.offset)


_new_value = object.__new__


class Value:
    """A value of an open hive: a copy of its record, read further on demand."""

    __slots__ = ("hive", "record", "_raw_name", "_ref")

    def __init__(self, hive, record, data_type=None):
        # data_type is accepted for older callers; the type is the record's own.
        self.hive = hive
        self.record = record
        self._raw_name = None
        self._ref = ctypes.byref(record)

    @property
    def type(self):
        """The data type number (REG_SZ and the rest), as stored."""
        return self.record.data_type

    @property
    def offset(self):
        return self.record.offset

    @property
    def has_name(self):
        """Whether a name is stored; the unnamed value (the key's default) has none."""
        return self.record.name_length != 0

    @property
    def name_readable(self):
        """Whether the library reads the name whole: false for a name stored as UTF-16
        (it reads only 8-bit names) or one cut short; true for the unnamed value."""
        record = self.record
        if record.name_length == 0:
            return True
        return bool(record.flags & _VALUE_NAME_IS_8BIT_FLAG) and \
            len(self.raw_name) == record.name_length

    @property
    def raw_name(self):
        """The stored 8-bit name; b"" for the unnamed value and for a name not stored in
        8 bits (see name_readable)."""
        raw = self._raw_name
        if raw is None:
            record = self.record
            if not record.flags & _VALUE_NAME_IS_8BIT_FLAG or record.name_length == 0:
                raw = b""
            else:
                with _lock:
                    handle = _handle_of(self.hive)
                    raw = _f.GetValueName(handle, self._ref)
            self._raw_name = raw
        return raw

    @property
    def name(self):
        """The value's name; "" for the unnamed value (and for one the library cannot
        read: see name_readable)."""
        raw = self._raw_name
        return _decode(self.raw_name if raw is None else raw, self.hive.name_encoding)

    @property
    def length(self):
        """The data size in bytes."""
        return self.record.data_size & ~_VALUE_DATA_INLINE_FLAG

    @property
    def dword(self):
        """The 32-bit number: inline data whole, otherwise the first 4 bytes of the data."""
        with _lock:
            handle = _handle_of(self.hive)
            return _f.GetValueDword(handle, self._ref)

    @property
    def data(self):
        """The stored bytes, or None when the size cannot be true (past the file's end)."""
        record = self.record
        size = record.data_size
        if size & _VALUE_DATA_INLINE_FLAG:
            size &= ~_VALUE_DATA_INLINE_FLAG
            if size > 4:  # the library reads sizes above 4 only with the bit clear
                record = ValueRecord.from_buffer_copy(record)
                record.data_size = size
                return self._read(size, ctypes.byref(record))
        if size <= 4:
            # Up to 4 bytes live in the record's own field, little-endian; the library
            # reads them from there whether or not the inline bit is set.
            return record.data_offset.to_bytes(4, "little")[:size]
        return self._read(size, self._ref)

    def _read(self, size, ref):
        global _data_buffer
        hive = self.hive
        with _lock:
            handle = _handle_of(hive)
            if size > hive._file_size:
                return None
            # One buffer, grown to the largest data read, shared under the lock.
            if size > len(_data_buffer):
                _data_buffer = ctypes.create_string_buffer(size)
            if not _f.GetValueData(handle, ref, _data_buffer):
                return None
            return _data_buffer[:size]

    @property
    def value(self):
        """The data by its type: str for REG_SZ and REG_EXPAND_SZ (up to the first NUL),
        a list of str for REG_MULTI_SZ, int for REG_DWORD, REG_DWORD_BIG_ENDIAN and
        REG_QWORD, bytes for every other type; None when data is None. Text is decoded
        from the stored UTF-16LE, never through a code set. A number whose data is not
        4 (8) bytes raises ValueDataError."""
        return _typed(self.record.data_type, self.data)

    @property
    def text(self):
        """The data read as UTF-16LE up to its first NUL, as converted by the library into
        the process's 8-bit code set, and decoded from that code set."""
        record = ValueRecord.from_buffer_copy(self.record)  # the library clears a bit of it
        with _lock:
            handle = _handle_of(self.hive)
            raw = _f.GetValueString(handle, ctypes.byref(record))
        return _decode(raw, _text_code_set())

    def __repr__(self):
        return "<vesk.Value %r type %d>" % (self.name, self.type)
