"""Value data read by its type, names by their code set, and key times: pure functions of
bytes, with no library call.
"""

from __future__ import annotations

import datetime
import locale
from typing import Dict, List, Optional, Tuple, Union

from ._native import WINDOWS
from .errors import ValueDataError

__all__ = [
    "REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
    "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST",
    "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD",
    "TypedValue", "type_name",
]

# The registry's value types by number; the library passes types through untouched.
REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN = range(6)
REG_LINK, REG_MULTI_SZ, REG_RESOURCE_LIST, REG_FULL_RESOURCE_DESCRIPTOR = range(6, 10)
REG_RESOURCE_REQUIREMENTS_LIST, REG_QWORD = 10, 11
_TYPE_NAMES = ["REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
               "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST",
               "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD"]

# What Value.value gives: text, a list of texts, a number, or the bytes themselves.
TypedValue = Union[str, List[str], int, bytes]


def type_name(data_type: int) -> str:
    """"REG_SZ" and the rest; a number past REG_QWORD as "type N"."""
    if 0 <= data_type < len(_TYPE_NAMES):
        return _TYPE_NAMES[data_type]
    return "type %d" % data_type


def text_code_set() -> str:
    """The code set the library converts string data into at this moment."""
    if WINDOWS:
        getencoding = getattr(locale, "getencoding", None)  # Python 3.11+
        return str(getencoding()) if getencoding else locale.getpreferredencoding(False)
    return locale.nl_langinfo(locale.CODESET) or "latin-1"


def decode_name(raw: bytes, encoding: str) -> str:
    if encoding == "latin-1":
        return raw.decode("latin-1")  # never fails: every byte is a character
    try:
        return raw.decode(encoding, "replace")
    except LookupError:  # a code set Python has no codec for
        return raw.decode("latin-1")


# Case folding as the registry compares names: ASCII and the Latin-1 letters.
_FOLD = bytes(c - 0x20 if (0x61 <= c <= 0x7A or (0xE0 <= c <= 0xFE and c != 0xF7)) else c
              for c in range(256))


def folded(raw: bytes) -> bytes:
    return raw.translate(_FOLD)


def utf16_text(data: bytes) -> str:
    """UTF-16LE code units as str, up to the first NUL. An odd last byte is no code unit
    and is left out; an unpaired surrogate is kept as it is (surrogatepass), so nothing
    stored is lost or replaced."""
    text = data[:len(data) & ~1].decode("utf-16-le", "surrogatepass")
    end = text.find("\0")
    return text if end < 0 else text[:end]


def utf16_strings(data: bytes) -> List[str]:
    """REG_MULTI_SZ: the strings up to the first empty one (the list's end), the last
    kept even without its terminator."""
    strings = []
    for s in data[:len(data) & ~1].decode("utf-16-le", "surrogatepass").split("\0"):
        if not s:
            break
        strings.append(s)
    return strings


# REG_LINK, a symbolic link's target, is text as vesk-dump's JSON gives it.
_TEXT_TYPES = (REG_SZ, REG_EXPAND_SZ, REG_LINK)
_NUMBERS: Dict[int, Tuple[int, str]] = {
    REG_DWORD: (4, "little"), REG_DWORD_BIG_ENDIAN: (4, "big"), REG_QWORD: (8, "little")}


def typed(data_type: int, data: Optional[bytes]) -> Optional[TypedValue]:
    """The data by its type; None for no data. Raises ValueDataError for a number whose
    data is not the size its type holds."""
    if data is None:
        return None
    if data_type == REG_DWORD and len(data) == 4:  # the common case first
        return int.from_bytes(data, "little")
    if data_type in _TEXT_TYPES:
        return utf16_text(data)
    if data_type == REG_MULTI_SZ:
        return utf16_strings(data)
    number = _NUMBERS.get(data_type)
    if number is None:
        return data
    size, order = number
    if len(data) != size:
        name = type_name(data_type)
        raise ValueDataError("%s data of %d bytes; a %s holds %d"
                             % (name, len(data), name, size))
    return int.from_bytes(data, "big" if order == "big" else "little")


def typed_or_data(data_type: int, data: Optional[bytes]) -> Optional[TypedValue]:
    """As typed(), but a number of the wrong size comes back as its bytes."""
    try:
        return typed(data_type, data)
    except ValueDataError:
        return data


_FILETIME_EPOCH = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)


def filetime(low: int, high: int) -> Optional[datetime.datetime]:
    try:
        return _FILETIME_EPOCH + datetime.timedelta(microseconds=((high << 32) | low) // 10)
    except OverflowError:  # after the year 9999
        return None
