"""Why a file is no hive this package reads: the exceptions, and the one table of refusal
reasons in the order the rules apply. The C++ interface keeps the same table
(vesk/base_block.hpp); a test holds the two to the same words.

A reason's text has a placeholder for each number, filled in order: ``{}`` a decimal,
``{x4}`` four upper-case hexadecimal digits.
"""

from __future__ import annotations

import errno
import os
import re
import stat
import struct
from typing import Optional, Sequence, Tuple, Type, Union

__all__ = ["HiveError", "NotAHiveError", "UnsupportedHiveError", "WrongVersionError",
           "DirtyHiveError", "LogsNotAppliedError", "NoRootKeyError", "ValueDataError",
           "REASONS", "reason_text"]

PathArg = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


class HiveError(OSError):
    """The file opened, but it is not a hive this library reads. ``reason`` says why, in
    vesk-dump's words; ``filename`` is the path given; ``key`` names the rule (a key of
    REASONS)."""

    def __init__(self, reason: str, filename: Optional[PathArg] = None,
                 key: Optional[str] = None) -> None:
        super().__init__(reason)
        self.reason = reason
        self.filename = filename
        self.key = key

    def __str__(self) -> str:
        if self.filename is not None:
            return "%s: %s" % (self.filename, self.reason)
        return self.reason


class NotAHiveError(HiveError):
    """Too short for a base block, no "regf" signature, or not a regular file."""


class UnsupportedHiveError(HiveError):
    """A hive, but of a kind the library does not read (file type, format, clustering)."""


class WrongVersionError(UnsupportedHiveError):
    """A hive of another format version; ``version`` is the (major, minor) found."""

    def __init__(self, reason: str, filename: Optional[PathArg] = None,
                 version: Optional[Tuple[int, int]] = None, key: Optional[str] = None) -> None:
        super().__init__(reason, filename, key)
        self.version = version


class DirtyHiveError(HiveError):
    """The hive was not written out cleanly: ``sequences`` (primary, secondary) differ."""

    def __init__(self, reason: str, filename: Optional[PathArg] = None,
                 sequences: Optional[Tuple[int, int]] = None, key: Optional[str] = None) -> None:
        super().__init__(reason, filename, key)
        self.sequences = sequences


class LogsNotAppliedError(DirtyHiveError):
    """A dirty hive opened with ``logs=True`` whose transaction logs could not be applied
    (none usable, none beside it, or no way to hold the recovered copy here); ``lines``
    says what was read and why, as vesk-dump --logs says it."""

    def __init__(self, reason: str, filename: Optional[PathArg] = None,
                 sequences: Optional[Tuple[int, int]] = None,
                 lines: Sequence[str] = ()) -> None:
        super().__init__(reason, filename, sequences, key="not_written_cleanly")
        self.lines = list(lines)


class NoRootKeyError(HiveError):
    """The library found no root key where it looks for one."""


class ValueDataError(ValueError):
    """A number's data is not the size its type holds; ``Value.data`` still has it."""


_ROOT = "no root key: it must be the first cell of the first bin, and "

# key, text: in the order the rules apply. The version comes before the sequence numbers,
# so a dirty hive of another version is refused for what reading it anyway cannot cure.
REASONS: Sequence[Tuple[str, str]] = (
    ("too_short", "not a hive: {} bytes, shorter than the {}-byte base block every hive"
                  " starts with"),
    ("no_signature", 'not a hive: it does not start with "regf"'),
    ("wrong_version", "version {}.{}: only version 1.3 hives can be read"),
    ("not_written_cleanly", "the hive was not written out cleanly: its sequence numbers {}"
                            " and {} differ (a write was cut short; its transaction logs"
                            " hold the rest)"),
    ("file_type", "file type {}: only primary hive files (type 0) can be read"),
    ("file_format", "file format {}: only format 1 can be read"),
    ("clustering_factor", "clustering factor {}: only 1 can be read"),
    ("refused_anyway", "the library refused it, though its base block looks right (did the"
                       " file change?)"),
    ("root_file_ends_before_bin", _ROOT + "the file ends before that bin"),
    ("root_no_bin_signature", _ROOT + 'the first bin has no "hbin" signature'),
    ("root_file_ends_inside_bin", _ROOT + "the file ends inside that bin"),
    ("root_not_a_key", _ROOT + "that cell is no key node"),
    ("root_flags", _ROOT + "that cell is a key with flags 0x{x4}, where the root key has"
                           " 0x{x4}"),
    ("root_not_found", "no root key: the library found none"),
)
_TEXTS = dict(REASONS)
_PLACEHOLDER = re.compile(r"\{([^{}]*)\}")


def _filled(placeholder: str, number: int) -> str:
    if placeholder.startswith(":"):  # as str.format takes what follows its colon
        return format(number, placeholder[1:])
    if placeholder.startswith("x"):
        return format(number, "0%sX" % placeholder[1:])
    return str(number)


def reason_text(key: str, *numbers: int) -> str:
    """The reason called `key` with its placeholders filled by `numbers`, in order."""
    given = iter(numbers)
    return _PLACEHOLDER.sub(lambda m: _filled(m.group(1), next(given)), _TEXTS[key])


# The base block's fields that decide, and where the root key must be.
_BASE_BLOCK_BYTES = 4096
_BASE_FIELDS = struct.Struct("<4sIIQIIIIIII")  # signature .. clustering factor
_FIRST_BIN_AT = 4096
_ROOT_CELL_AT = _FIRST_BIN_AT + 36  # contents of the first cell of the first bin
_ROOT_FLAGS = 0x2C


def _system_error(error: OSError, path: PathArg) -> OSError:
    """The same OSError subclass, naming the path as the caller gave it."""
    return OSError(error.errno, error.strerror, path)


def _read_head(path: PathArg, raw_path: bytes, count: int) -> Tuple[bytes, int]:
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


def _refusal(kind: Type[HiveError], path: PathArg, key: str, *numbers: int) -> HiveError:
    return kind(reason_text(key, *numbers), path, key=key)


def not_opened(path: PathArg, raw_path: bytes) -> OSError:
    """The exception that says why OpenRegistryFile refused the file."""
    head, size = _read_head(path, raw_path, 512)
    if size < _BASE_BLOCK_BYTES:
        return _refusal(NotAHiveError, path, "too_short", size, _BASE_BLOCK_BYTES)
    (signature, primary, secondary, _, major, minor, file_type, file_format, _, _,
     clustering) = _BASE_FIELDS.unpack_from(head.ljust(512, b"\0"))
    if signature != b"regf":
        return _refusal(NotAHiveError, path, "no_signature")
    if (major, minor) != (1, 3):
        return WrongVersionError(reason_text("wrong_version", major, minor), path,
                                 (major, minor), key="wrong_version")
    if primary != secondary:
        return DirtyHiveError(reason_text("not_written_cleanly", primary, secondary), path,
                              (primary, secondary), key="not_written_cleanly")
    if file_type != 0:
        return _refusal(UnsupportedHiveError, path, "file_type", file_type)
    if file_format != 1:
        return _refusal(UnsupportedHiveError, path, "file_format", file_format)
    if clustering != 1:
        return _refusal(UnsupportedHiveError, path, "clustering_factor", clustering)
    return _refusal(HiveError, path, "refused_anyway")


def no_root(path: PathArg, raw_path: bytes) -> NoRootKeyError:
    """The NoRootKeyError that says why SearchRootKey found no root key."""
    head, _ = _read_head(path, raw_path, _ROOT_CELL_AT + 4)
    numbers: Tuple[int, ...] = ()
    if len(head) < _FIRST_BIN_AT + 4:
        key = "root_file_ends_before_bin"
    elif head[_FIRST_BIN_AT:_FIRST_BIN_AT + 4] != b"hbin":
        key = "root_no_bin_signature"
    elif len(head) < _ROOT_CELL_AT + 4:
        key = "root_file_ends_inside_bin"
    elif head[_ROOT_CELL_AT:_ROOT_CELL_AT + 2] != b"nk":
        key = "root_not_a_key"
    else:
        flags = struct.unpack_from("<H", head, _ROOT_CELL_AT + 2)[0]
        key, numbers = ("root_flags", (flags, _ROOT_FLAGS)) if flags != _ROOT_FLAGS \
            else ("root_not_found", ())
    return NoRootKeyError(reason_text(key, *numbers), path, key=key)
