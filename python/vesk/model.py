"""The object model: a Hive owns its handle; Keys and Values are copies of the library's
records, read further on demand. Decoding lives in decoding.py, refusals in errors.py.
"""

from __future__ import annotations

import ctypes
import datetime
import os
import sys
import warnings
from typing import Any, Callable, Generic, Iterator, List, Optional, Sequence, Set, Tuple, \
    TypeVar

from . import _native, checks
from .checks import Damage
from ._native import (KEY_NAME_IS_8BIT_FLAG, SIG_LF_LIST, VALUE_DATA_INLINE_FLAG,
                      VALUE_NAME_IS_8BIT_FLAG, BaseBlock, HiveHandle, KeyListRecord,
                      KeyRecord, ValueListRecord, ValueRecord, functions, library, lock)
from .decoding import TypedValue, decode_name, filetime, folded, text_code_set, typed, \
    typed_or_data
from ._logs import Recovery
from .errors import LogsNotAppliedError, PathArg, no_root, not_opened
from .private_view import clean_view, recovered_view, sequence_numbers, view_path

__all__ = ["Hive", "Key", "Value", "Listing", "Damage", "SubkeysNotRead",
           "SubkeysNotReadWarning", "DirtyHiveWarning"]

_T = TypeVar("_T")


class Listing(Generic[_T]):
    """The sound elements of one list (an iterator), and ``damage``: what the checks
    skipped or found wrong in it (a list of Damage), complete from the start."""

    __slots__ = ("_items", "damage")

    def __init__(self, items: List[_T], damage: List[Damage]) -> None:
        self._items = iter(items)
        self.damage = damage

    def __iter__(self) -> Iterator[_T]:
        # The elements' own iterator, which a for loop steps through without a call into
        # __next__ for each; it is the same one next() steps, so both share one position.
        return self._items

    def __next__(self) -> _T:
        return next(self._items)


class DirtyHiveWarning(UserWarning):
    """A hive not written out cleanly is read as its primary file stands (ignore_dirty),
    or with its transaction logs applied (logs), the warning saying what was applied."""

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


def _raw(path: PathArg) -> bytes:
    """The path as the library takes it: bytes in the system's 8-bit code page."""
    raw = path if isinstance(path, bytes) else os.fspath(path)
    if isinstance(raw, str):
        return raw.encode("mbcs") if _native.WINDOWS else os.fsencode(raw)
    return raw


def _recovered(path: PathArg, raw_path: bytes, numbers: Tuple[int, int],
               log_files: List[bytes]) -> Optional[Recovery]:
    """The hive at `raw_path` with its logs applied; None when no logs are needed and none
    can be applied here (the hive then reads as it is). Raises LogsNotAppliedError when
    the hive needs them and they could not be applied."""
    dirty = "the hive was not written out cleanly (sequence numbers %d and %d)" % numbers
    try:
        recovery = recovered_view(raw_path, log_files)
    except OSError as error:
        if numbers[0] == numbers[1]:
            return None  # written out cleanly: the library reads it, its logs unused
        raise LogsNotAppliedError("%s, and %s" % (dirty, error), path, numbers) from None
    if recovery.outcome == "not_recovered":
        raise LogsNotAppliedError(
            "%s, and its transaction logs could not be applied: %s; ignore_dirty=True reads"
            " the primary file as it stands" % (dirty, recovery.problem), path, numbers,
            recovery.lines)
    return recovery


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

    ``logs=True`` (or ``log_files``, the logs to use in place of those beside the hive)
    reads a dirty hive with its transaction logs applied, as vesk-dump --logs does, with
    a DirtyHiveWarning saying what was applied; ``recovery`` then says it too. A clean
    hive is read as it is. When the logs cannot be applied, LogsNotAppliedError says
    why. ``logs`` is taken before ``ignore_dirty`` when both are given.
    """

    def __init__(self, path: PathArg, name_encoding: str = "latin-1",
                 ignore_dirty: bool = False, logs: bool = False,
                 log_files: Optional[Sequence[PathArg]] = None) -> None:
        self.path = path
        self.name_encoding = name_encoding
        self._handle: Any = None
        self._warned = False
        self._view: Optional[int] = None
        self.recovery: Optional[Recovery] = None
        raw_path = _raw(path)
        library()
        f = functions()
        opened = raw_path
        logs = logs or bool(log_files)
        numbers = sequence_numbers(raw_path) if ignore_dirty or logs else None
        if numbers is not None and logs:
            self.recovery = _recovered(path, raw_path, numbers,
                                       [_raw(log) for log in log_files or ()])
            self._view = self.recovery.fd if self.recovery else None
            if self._view is not None:
                opened = view_path(self._view)
        elif numbers is not None and numbers[0] != numbers[1]:
            try:
                self._view, opened = clean_view(raw_path)
            except OSError:
                pass  # refused as dirty below, as without ignore_dirty
        with lock:
            handle = f.OpenRegistryFile(opened)
        if not handle:
            self._drop_view()
            # Judged from the file itself, so a dirty hive of another version is
            # refused for its version.
            raise not_opened(path, raw_path)
        self._handle = handle
        self._file_size: int = handle.contents.file_size  # fixed once the hive is open
        self._extent = checks.extent_of(self._file_size,
                                        handle.contents.base_block.hive_bins_size)
        if self.recovery is not None and self.recovery.dirty:
            said = "; ".join(self.recovery.lines)
            if self.recovery.incomplete:
                said += ("; the transaction logs were not applied whole: what is read may"
                         " miss changes they hold")
            warnings.warn(DirtyHiveWarning("%s: %s" % (os.fsdecode(raw_path), said)),
                          stacklevel=2)
        elif self._view is not None and numbers is not None:
            warnings.warn(DirtyHiveWarning(
                "%s: not written out cleanly (sequence numbers %d and %d); read as its"
                " primary file stands, without its transaction logs"
                % (os.fsdecode(raw_path), numbers[0], numbers[1])), stacklevel=2)
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
        self._drop_view()

    def _drop_view(self) -> None:
        view, self._view = getattr(self, "_view", None), None
        if view is not None:
            os.close(view)

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

    def walk(self, on_damage: Optional[Callable[[str, Damage], None]] = None
             ) -> Iterator[Tuple[str, "Key"]]:
        """Yields (path, key) for every key, depth first, each key before its subkeys.

        The root's path is ""; below it, names joined by backslashes, as open_key takes
        them (and as Key.path gives them). Subkeys and values are checked as vesk-dump
        checks them (see Key.subkeys); ``on_damage(path, damage)`` is called, after the
        key was yielded, for what its lists lost, and for a key met a second time (only a
        damaged hive links one twice), which is not entered, so the walk always ends.
        Passing a key whose list hides subkeys from the library (Key.subkeys_not_read)
        warns once per hive with SubkeysNotReadWarning.
        """
        root = self.root
        seen: Set[int] = {root.record.offset}
        yield "", root
        pending = [("", self._children(root, "", on_damage))]
        while pending:
            path, subkeys = pending[-1]
            key = next(subkeys, None)
            if key is None:
                pending.pop()
                continue
            record = key.record
            raw = key._raw_name  # read with the list; Key.name's reading, without the call
            name = raw.decode("latin-1") if raw is not None and \
                self.name_encoding == "latin-1" else key.name
            key_path = key._path = path + "\\" + name if path else name
            offset = record.offset
            if offset in seen:
                if on_damage is not None:
                    on_damage(key_path, Damage("revisit", checks.SUBKEYS, offset))
                continue
            seen.add(offset)
            yield key_path, key
            if on_damage is None and record.subkey_count == 0 and \
                    record.subkey_list == _NO_CELL:
                # A leaf, most keys: _children would give nothing and say nothing.
                if self._handle is None:
                    raise _closed()
                continue
            pending.append((key_path, self._children(key, key_path, on_damage)))

    def _children(self, key: "Key", path: str,
                  on_damage: Optional[Callable[[str, Damage], None]] = None) -> Iterator["Key"]:
        if on_damage is not None:
            values = key._values_read if key._values_read is not None else key.values()
            for damage in values.damage:
                on_damage(path, damage)
        record = key.record
        if record.subkey_count == 0 and record.subkey_list == _NO_CELL:
            # A leaf, most keys: no list to read, nothing hidden, nothing to say.
            if self._handle is None:
                raise _closed()
            return iter(())
        key_list, listed = key._list()
        if not self._warned and record.subkey_count > 0 and (
                listed < record.subkey_count or key_list.signature != SIG_LF_LIST):
            hidden = _list_problem(key.record.subkey_count, key_list, listed)
            if hidden:
                self._warned = True
                warnings.warn(SubkeysNotReadWarning(
                    "%s: the library does not read every subkey; the walk leaves out those"
                    " of key %r and perhaps more (Key.subkeys_not_read tells for each): %s"
                    % (os.fsdecode(self.path), path, hidden.reason)), stacklevel=3)
        listing = key._subkeys_of(key_list, listed, names=True)
        if on_damage is not None:
            for damage in listing.damage:
                on_damage(path, damage)
        return iter(listing)


class Key:
    """A key of an open hive: a copy of its record, read further on demand."""

    __slots__ = ("hive", "record", "raw_hint", "_raw_name", "_ref", "_parent", "_path",
                 "_values_read")

    def __init__(self, hive: Hive, record: KeyRecord, hint: bytes = b"",
                 parent: Optional["Key"] = None) -> None:
        self.hive = hive
        self.record = record
        self.raw_hint = hint
        self._raw_name: Optional[bytes] = None
        self._ref = ctypes.byref(record)
        self._parent = parent
        self._path: Optional[str] = None
        self._values_read: Optional[Listing[Value]] = None

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
        if raw is None:
            raw = self.raw_name
        encoding = self.hive.name_encoding
        # Latin-1, the default, decodes every byte: decode_name's answer, without the call.
        return raw.decode(encoding) if encoding == "latin-1" else decode_name(raw, encoding)

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
        # A key that counts no subkeys and names no list has none; this spares a read for
        # every leaf. A list named under a count of 0 is read (as vesk-dump reads it), in
        # case the count is what was damaged.
        record = self.record
        if record.subkey_count == 0 and record.subkey_list == checks.LAYOUT["no_cell"]:
            return key_list, 0
        with lock:
            handle = _handle_of(self.hive)
            return key_list, functions().GetSubKeyList(handle, self._ref,
                                                       ctypes.byref(key_list))

    def _subkeys_of(self, key_list: KeyListRecord, listed: int,
                    names: bool = False) -> Listing["Key"]:
        # Every subkey's record (and with `names`, its name) is read at once, under one
        # taking of the lock: a list holds at most 32767 elements.
        hive = self.hive
        keys: List[Key] = []
        damage: List[Damage] = []
        record = self.record
        if record.subkey_count == 0 and record.subkey_list == _NO_CELL:
            # A leaf, most keys: the checks find nothing to say of it (no count, no list).
            if hive._handle is None:
                raise _closed()
            return Listing(keys, damage)
        f = functions()
        with lock:
            handle = _handle_of(hive)
            extent = hive._extent
            if not checks.subkey_list_in_file(extent, record.offset, record.subkey_count,
                                              record.subkey_list, damage):
                return Listing(keys, damage)
            run = checks.plan_subkeys(extent, record.subkey_count, key_list.signature,
                                      key_list.offset, key_list.count, max(listed, 0), damage)
            get, get_name, list_ref = f.GetSubKey, f.GetRegKeyName, ctypes.byref(key_list)
            sound, end, byref = checks.sound_key, run.end, ctypes.byref
            while run.next < end:  # run.more() and run.take(), without the calls
                index = run.next
                run.next = index + 1
                key = _new_key(Key)  # the slots set here are all __init__ would set
                key.hive = hive
                krecord = key.record = KeyRecord()
                ref = key._ref = byref(krecord)
                key._parent = self
                key._path = key._values_read = key._raw_name = None
                key.raw_hint = get(handle, list_ref, index, ref)
                at = krecord.offset
                if sound(extent, at, krecord.signature) and run.run is None:
                    run.in_row = 0  # what run.judge() does with a sound element, quicker
                elif not run.judge_and_report(extent, index, at, krecord.signature, damage):
                    continue
                if names:
                    key._raw_name = get_name(handle, ref)
                keys.append(key)
            run.finish(damage)
        return Listing(keys, damage)

    def subkeys(self) -> Listing["Key"]:
        """Iterates over the subkeys that pass the checks vesk-dump applies: an element
        naming no cell in the file, or a cell that is no key node, is skipped, and the
        list is read no further than the file holds. What was skipped is in the
        returned iterator's ``damage``."""
        return self._subkeys_of(*self._list())

    @property
    def subkeys_not_read(self) -> SubkeysNotRead:
        """SubkeysNotRead: how many subkeys the key counts that its list hides from the
        library (0 when none), with the reason ("lh" list, fewer listed than counted)."""
        key_list, listed = self._list()
        return _list_problem(self.record.subkey_count, key_list, listed)

    def values(self) -> Listing["Value"]:
        """Iterates over the values that pass the checks vesk-dump applies (as subkeys()
        does); the iterator's ``damage`` says what was skipped, and which values' data
        lies outside the file (their ``data`` is None). Records and names are read at
        once, under one taking of the lock; data on demand."""
        hive = self.hive
        values: List[Value] = []
        damage: List[Damage] = []
        record = self.record
        if hive._handle is None:
            raise _closed()
        count = record.value_count
        # No values, or no list: plan_values would plan nothing and find nothing to say.
        run = checks.plan_values(hive._extent, record.offset, count, record.value_list,
                                 damage) if count and record.value_list != _NO_CELL else None
        if run is None or not run.more():  # GetValueList would say 0 without a read
            listing: Listing[Value] = Listing(values, damage)
            self._values_read = listing
            return listing
        value_list = ValueListRecord()
        f = functions()
        with lock:
            handle = _handle_of(hive)
            extent = hive._extent
            get, get_name, list_ref = f.GetValue, f.GetValueName, ctypes.byref(value_list)
            f.GetValueList(handle, self._ref, list_ref)
            append, byref, flag = values.append, ctypes.byref, VALUE_NAME_IS_8BIT_FLAG
            sound = checks.sound_value
            end = run.end
            while run.next < end:  # run.more() and run.take(), without the calls
                index = run.next
                run.next = index + 1
                value = _new_value(Value)  # the slots set here are all __init__ would set
                value.hive = hive
                vrecord = value.record = ValueRecord()
                ref = value._ref = byref(vrecord)
                get(handle, list_ref, index, ref)
                at, size = vrecord.offset, vrecord.data_size & ~VALUE_DATA_INLINE_FLAG
                data_at = vrecord.data_offset
                if sound(extent, at, vrecord.signature, data_at, size) and run.run is None:
                    run.in_row = 0  # what run.judge() does with a sound element, quicker
                else:
                    if not run.judge_and_report(extent, index, at, vrecord.signature, damage):
                        continue
                    bad_data = checks.data_damage(extent, index, data_at, size)
                    if bad_data is not None:
                        damage.append(bad_data)
                value._raw_name = get_name(handle, ref) \
                    if vrecord.flags & flag and vrecord.name_length else b""
                append(value)
            run.finish(damage)
        listing = Listing(values, damage)
        self._values_read = listing
        return listing

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


_new_key = _new_value = object.__new__
_NO_CELL = checks.LAYOUT["no_cell"]


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
        encoding = self.hive.name_encoding
        return raw.decode(encoding) if encoding == "latin-1" else decode_name(raw, encoding)

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
            handle = hive._handle  # as _handle_of() takes it, without the call
            if handle is None:
                raise _closed()
            if size > hive._file_size or checks.place_data(
                    hive._extent, self.record.data_offset, size) != checks.IN_FILE:
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
