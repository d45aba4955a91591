"""The object model: a Hive owns its handle; Keys and Values are copies of the library's
records, read further on demand. Decoding lives in decoding.py, refusals in errors.py.
"""

from __future__ import annotations

import ctypes
import datetime
import os
import sys
import warnings
from typing import Any, Iterator, List, Optional, Set, Tuple

from . import _native
from ._native import (KEY_NAME_IS_8BIT_FLAG, SIG_LF_LIST, VALUE_DATA_INLINE_FLAG,
                      VALUE_NAME_IS_8BIT_FLAG, BaseBlock, HiveHandle, KeyListRecord,
                      KeyRecord, ValueListRecord, ValueRecord, functions, library, lock)
from .decoding import TypedValue, decode_name, filetime, folded, text_code_set, typed, \
    typed_or_data
from .errors import PathArg, no_root, not_opened

__all__ = ["Hive", "Key", "Value", "SubkeysNotRead", "SubkeysNotReadWarning"]

_data_buffer = ctypes.create_string_buffer(4096)


class SubkeysNotRead(int):
    """How many subkeys a key's list hides from the library (0: none), with ``reason``."""

    reason: Optional[str]

    def __new__(cls, count: int, reason: Optional[str] = None) -> "SubkeysNotRead":
        self = super().__new__(cls, count)
        self.reason = reason
        return self

    def __repr__(self) -> str:
        return "SubkeysNotRead(%d, %r)" % (self, self.reason)


class SubkeysNotReadWarning(UserWarning):
    """A walk passed keys whose subkeys the library does not read."""


def _list_problem(counted: int, key_list: KeyListRecord, listed: int) -> SubkeysNotRead:
    """SubkeysNotRead for a key that counts `counted` subkeys, given its list."""
    if counted <= 0:
        return SubkeysNotRead(0)
    signature = key_list.signature
    if signature != SIG_LF_LIST:
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


def _closed() -> ValueError:
    return ValueError("the hive is closed")


def _handle_of(hive: "Hive") -> Any:
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

    def __init__(self, path: PathArg, name_encoding: str = "latin-1") -> None:
        self.path = path
        self.name_encoding = name_encoding
        self._handle: Any = None
        self._warned = False
        raw = path if isinstance(path, bytes) else os.fspath(path)
        if isinstance(raw, str):
            # The library takes a path in the system's 8-bit code page.
            raw_path = raw.encode("mbcs") if _native.WINDOWS else os.fsencode(raw)
        else:
            raw_path = raw
        library()
        f = functions()
        with lock:
            handle = f.OpenRegistryFile(raw_path)
        if not handle:
            raise not_opened(path, raw_path)
        self._handle = handle
        self._file_size: int = handle.contents.file_size  # fixed once the hive is open
        record = KeyRecord()
        with lock:
            found = f.SearchRootKey(handle, ctypes.byref(record))
        if not found:
            self.close()
            raise no_root(path, raw_path)
        self._root = Key(self, record)
        self._root._path = ""

    def close(self) -> None:
        with lock:
            handle, self._handle = self._handle, None
            if handle:
                functions().CloseRegistryFile(handle)

    @property
    def closed(self) -> bool:
        return self._handle is None

    def __enter__(self) -> "Hive":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        if getattr(self, "_handle", None) is not None and not sys.is_finalizing():
            self.close()

    def handle(self) -> Any:
        """The library's handle (a pointer to HiveHandle); raises ValueError once the
        hive is closed."""
        if self._handle is None:
            raise _closed()
        return self._handle

    @property
    def file_size(self) -> int:
        self.handle()
        return self._file_size

    @property
    def base_block(self) -> BaseBlock:
        """A copy of the file's base block."""
        return BaseBlock.from_buffer_copy(self.handle().contents.base_block)

    @property
    def root(self) -> "Key":
        """The root key."""
        self.handle()
        return self._root

    def open_key(self, path: str) -> Optional["Key"]:
        """The key at a backslash-separated path below the root, ignoring case.

        "" is the root itself; None when a step is absent.
        """
        key: Optional[Key] = self.root
        for step in path.split("\\"):
            if key is None:
                break
            if step:
                key = key.subkey(step)
        return key

    def walk(self) -> Iterator[Tuple[str, "Key"]]:
        """Yields (path, key) for every key, depth first, each key before its subkeys.

        The root's path is ""; below it, names joined by backslashes, as open_key takes
        them (and as Key.path gives them). A key met a second time (only a damaged hive
        links one twice) is skipped, so the walk always ends. Passing a key whose list
        hides subkeys from the library (Key.subkeys_not_read) warns once per hive with
        SubkeysNotReadWarning.
        """
        root = self.root
        seen: Set[int] = {root.record.offset}
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
            key_path = key._path = path + "\\" + name if path else name
            yield key_path, key
            # Most keys are leaves: they need no list read, nor an iterator.
            if record.subkey_count > 0:
                pending.append((key_path, self._children(key, key_path)))

    def _children(self, key: "Key", path: str) -> Iterator["Key"]:
        key_list, listed = key._list()
        if not self._warned and (listed < key.record.subkey_count or
                                 key_list.signature != SIG_LF_LIST):
            hidden = _list_problem(key.record.subkey_count, key_list, listed)
            if hidden:
                self._warned = True
                warnings.warn(SubkeysNotReadWarning(
                    "%s: the library does not read every subkey; the walk leaves out those"
                    " of key %r and perhaps more (Key.subkeys_not_read tells for each): %s"
                    % (os.fsdecode(self.path), path, hidden.reason)), stacklevel=3)
        return key._subkeys_of(key_list, listed, names=True)


class Key:
    """A key of an open hive: a copy of its record, read further on demand."""

    __slots__ = ("hive", "record", "raw_hint", "_raw_name", "_ref", "_parent", "_path")

    def __init__(self, hive: Hive, record: KeyRecord, hint: bytes = b"",
                 parent: Optional["Key"] = None) -> None:
        self.hive = hive
        self.record = record
        self.raw_hint = hint
        self._raw_name: Optional[bytes] = None
        self._ref = ctypes.byref(record)
        self._parent = parent
        self._path: Optional[str] = None

    @property
    def offset(self) -> int:
        """The file offset of the key's node: the same key always has the same one."""
        return int(self.record.offset)

    @property
    def parent(self) -> Optional["Key"]:
        """The key this one was reached from; None for the root (and for a Key made
        from a bare record)."""
        return self._parent

    @property
    def path(self) -> str:
        """The names from the root down to this key, joined by backslashes, as walk()
        gives them and open_key() takes them; "" for the root."""
        path = self._path
        if path is None:
            parent = self._parent
            above = parent.path if parent is not None else ""
            path = self._path = above + "\\" + self.name if above else self.name
        return path

    @property
    def raw_name(self) -> bytes:
        """The name's bytes as the library reads them, read once."""
        raw = self._raw_name
        if raw is None:
            with lock:
                handle = _handle_of(self.hive)
                raw = self._raw_name = functions().GetRegKeyName(handle, self._ref)
        return raw

    @property
    def name(self) -> str:
        """The name as the library reads it. A name stored as UTF-16 reads only up to its
        first zero byte (see name_readable), so it may be short, or "", yet it is still
        the step walk() and open_key() use."""
        raw = self._raw_name
        return decode_name(self.raw_name if raw is None else raw, self.hive.name_encoding)

    @property
    def name_readable(self) -> bool:
        """Whether the name is stored as 8-bit text and read whole. The library reads a
        name stored as UTF-16 only up to its first zero byte."""
        record = self.record
        return bool(record.flags & KEY_NAME_IS_8BIT_FLAG) and \
            len(self.raw_name) == record.name_length

    @property
    def last_written(self) -> Optional[datetime.datetime]:
        """When the key was last written, as an aware UTC datetime (None after 9999)."""
        return filetime(self.record.last_written_low, self.record.last_written_high)

    @property
    def subkey_count(self) -> int:
        """The number of subkeys the key counts, whether the library reads them or not."""
        return int(self.record.subkey_count)

    @property
    def value_count(self) -> int:
        return int(self.record.value_count)

    def _list(self) -> Tuple[KeyListRecord, int]:
        """The subkey list record and the number of subkeys the library reads from it."""
        key_list = KeyListRecord()
        # A key that counts no subkeys has none, as Windows reads it (and as vesk-dump).
        if self.record.subkey_count <= 0:
            return key_list, 0
        with lock:
            handle = _handle_of(self.hive)
            return key_list, functions().GetSubKeyList(handle, self._ref,
                                                       ctypes.byref(key_list))

    def _subkeys_of(self, key_list: KeyListRecord, listed: int,
                    names: bool = False) -> Iterator["Key"]:
        # Every subkey's record (and with `names`, its name) is read at once, under one
        # taking of the lock: a list holds at most 32767 elements.
        hive = self.hive
        keys = []
        f = functions()
        with lock:
            handle = _handle_of(hive)
            get, get_name, list_ref = f.GetSubKey, f.GetRegKeyName, ctypes.byref(key_list)
            for index in range(listed):
                key = Key(hive, KeyRecord(), parent=self)
                key.raw_hint = get(handle, list_ref, index, key._ref)
                if names:
                    key._raw_name = get_name(handle, key._ref)
                keys.append(key)
        return iter(keys)

    def subkeys(self) -> Iterator["Key"]:
        """Iterates over the subkeys the library reads, reading each as it is reached."""
        return self._subkeys_of(*self._list())

    @property
    def subkeys_not_read(self) -> SubkeysNotRead:
        """SubkeysNotRead: how many subkeys the key counts that its list hides from the
        library (0 when none), with the reason ("lh" list, fewer listed than counted)."""
        key_list, listed = self._list()
        return _list_problem(self.record.subkey_count, key_list, listed)

    def values(self) -> Iterator["Value"]:
        """Iterates over the values. Their records and names are read at once, under one
        taking of the lock; their data on demand."""
        hive = self.hive
        if self.record.value_count <= 0:  # GetValueList would say 0 without a read
            if hive._handle is None:
                raise _closed()
            return iter(())
        value_list = ValueListRecord()
        values: List[Value] = []
        f = functions()
        with lock:
            handle = _handle_of(hive)
            get, get_name, list_ref = f.GetValue, f.GetValueName, ctypes.byref(value_list)
            # A count the file makes absurd ends with the file: GetValue reads zeros
            # past its end, and no more records are made than the list could hold.
            count = min(f.GetValueList(handle, self._ref, list_ref), hive._file_size // 4)
            append, byref, flag = values.append, ctypes.byref, VALUE_NAME_IS_8BIT_FLAG
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

    def subkey(self, name: str) -> Optional["Key"]:
        """The subkey called `name`, ignoring case, or None.

        The list holds each subkey's name hint (its first four characters), so first
        only subkeys whose hint matches have their full names read. A hint need not
        match the name the library reads (a name stored in UTF-16 reads as its bytes),
        so a name not found that way is looked for among all the names.
        """
        wanted = folded(name.encode(self.hive.name_encoding))
        for key in self.subkeys():
            if folded(key.raw_hint) == wanted[:4] and folded(key.raw_name) == wanted:
                return key
        for key in self.subkeys():
            if folded(key.raw_name) == wanted:
                return key
        return None

    def value(self, name: str) -> Optional["Value"]:
        """The value called `name`, ignoring case, or None; "" is the unnamed value.
        Values whose names the library cannot read are never found."""
        wanted = folded(name.encode(self.hive.name_encoding))
        for value in self.values():
            if value.name_readable and folded(value.raw_name) == wanted:
                return value
        return None

    def __repr__(self) -> str:
        return "<vesk.Key %r at 0x%x>" % (self.name, self.offset)


_new_value = object.__new__


class Value:
    """A value of an open hive: a copy of its record, read further on demand."""

    __slots__ = ("hive", "record", "_raw_name", "_ref")

    def __init__(self, hive: Hive, record: ValueRecord, data_type: Optional[int] = None) -> None:
        # data_type is accepted for older callers; the type is the record's own.
        self.hive = hive
        self.record = record
        self._raw_name: Optional[bytes] = None
        self._ref = ctypes.byref(record)

    @property
    def type(self) -> int:
        """The data type number (REG_SZ and the rest), as stored."""
        return int(self.record.data_type)

    @property
    def offset(self) -> int:
        return int(self.record.offset)

    @property
    def has_name(self) -> bool:
        """Whether a name is stored; the unnamed value (the key's default) has none."""
        return bool(self.record.name_length != 0)

    @property
    def name_readable(self) -> bool:
        """Whether the library reads the name whole: false for a name stored as UTF-16
        (it reads only 8-bit names) or one cut short; true for the unnamed value."""
        record = self.record
        if record.name_length == 0:
            return True
        return bool(record.flags & VALUE_NAME_IS_8BIT_FLAG) and \
            len(self.raw_name) == record.name_length

    @property
    def raw_name(self) -> bytes:
        """The stored 8-bit name; b"" for the unnamed value and for a name not stored in
        8 bits (see name_readable)."""
        raw = self._raw_name
        if raw is None:
            record = self.record
            if not record.flags & VALUE_NAME_IS_8BIT_FLAG or record.name_length == 0:
                raw = b""
            else:
                with lock:
                    handle = _handle_of(self.hive)
                    raw = functions().GetValueName(handle, self._ref)
            self._raw_name = raw
        return raw

    @property
    def name(self) -> Optional[str]:
        """The value's name; "" for the unnamed value (the key's default), None for a
        name the library cannot read (see name_readable), so {v.name: ...} loses
        neither."""
        raw = self._raw_name
        if raw is None:
            raw = self.raw_name
        record = self.record
        if record.name_length == 0:
            return ""
        if len(raw) != record.name_length or not record.flags & VALUE_NAME_IS_8BIT_FLAG:
            return None
        return decode_name(raw, self.hive.name_encoding)

    @property
    def length(self) -> int:
        """The data size in bytes."""
        return int(self.record.data_size & ~VALUE_DATA_INLINE_FLAG)

    @property
    def dword(self) -> int:
        """The 32-bit number: inline data whole, otherwise the first 4 bytes of the data."""
        with lock:
            handle = _handle_of(self.hive)
            return int(functions().GetValueDword(handle, self._ref))

    @property
    def data(self) -> Optional[bytes]:
        """The stored bytes, or None when the size cannot be true (past the file's end)."""
        record = self.record
        size = record.data_size
        if size & VALUE_DATA_INLINE_FLAG:
            size &= ~VALUE_DATA_INLINE_FLAG
            if size > 4:  # the library reads sizes above 4 only with the bit clear
                record = ValueRecord.from_buffer_copy(record)
                record.data_size = size
                return self._read(size, ctypes.byref(record))
        if size <= 4:
            # Up to 4 bytes live in the record's own field, little-endian; the library
            # reads them from there whether or not the inline bit is set.
            return bytes(record.data_offset.to_bytes(4, "little")[:size])
        return self._read(size, self._ref)

    def _read(self, size: int, ref: Any) -> Optional[bytes]:
        global _data_buffer
        hive = self.hive
        with lock:
            handle = _handle_of(hive)
            if size > hive._file_size:
                return None
            # One buffer, grown to the largest data read, shared under the lock.
            if size > len(_data_buffer):
                _data_buffer = ctypes.create_string_buffer(size)
            if not functions().GetValueData(handle, ref, _data_buffer):
                return None
            return ctypes.string_at(_data_buffer, size)

    @property
    def value(self) -> Optional[TypedValue]:
        """The data by its type: str for REG_SZ, REG_EXPAND_SZ and REG_LINK (up to the
        first NUL), a list of str for REG_MULTI_SZ, int for REG_DWORD,
        REG_DWORD_BIG_ENDIAN and REG_QWORD, bytes for every other type; None when data
        is None. Text is decoded from the stored UTF-16LE, never through a code set. A
        number whose data is not 4 (8) bytes raises ValueDataError: see value_or_data()
        for the reading that never raises."""
        return typed(self.record.data_type, self.data)

    def value_or_data(self) -> Optional[TypedValue]:
        """As value, but never raises: a number whose data is not the size its type
        holds comes back as its bytes (isinstance(v, bytes) tells), as vesk-dump's JSON
        then gives the data without a "number"."""
        return typed_or_data(self.record.data_type, self.data)

    @property
    def text(self) -> str:
        """The data read as UTF-16LE up to its first NUL, as converted by the library into
        the process's 8-bit code set, and decoded from that code set."""
        record = ValueRecord.from_buffer_copy(self.record)  # the library clears a bit of it
        with lock:
            handle = _handle_of(self.hive)
            raw = functions().GetValueString(handle, ctypes.byref(record))
        return decode_name(raw, text_code_set())

    def __repr__(self) -> str:
        return "<vesk.Value %r type %d>" % (self.name, self.type)
