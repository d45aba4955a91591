"""The library's five records, its 17 functions and how the library is found and loaded.

Nothing here reads a hive: the object model calls these functions, under ``lock``.
"""

from __future__ import annotations

import ctypes
import os
import threading
from typing import Any, Dict, Iterator, List, Optional, Tuple

__all__ = ["BaseBlock", "HiveHandle", "KeyRecord", "KeyListRecord", "ValueListRecord",
           "ValueRecord", "library", "functions", "lock"]

# Facts of the records, as vesk_10.h and vesk/hive.hpp name them.
KEY_NAME_IS_8BIT_FLAG = 0x0020       # KeyRecord.flags
VALUE_NAME_IS_8BIT_FLAG = 0x0001     # ValueRecord.flags
VALUE_DATA_INLINE_FLAG = 0x80000000  # ValueRecord.data_size
SIG_LF_LIST = 0x666C                 # KeyListRecord.signature of an "lf" list

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
_PROTOTYPES: Dict[str, Tuple[Any, List[Any]]] = {
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

WINDOWS = os.name == "nt"
_FILE_NAMES = ["vesk_10.dll"] if WINDOWS else ["libvesk_10.so.1", "libvesk_10.so"]
# Reentrant: a Hive that the garbage collector finishes while this thread holds the lock
# (collection can start at any allocation) closes its handle from inside a locked call.
lock = threading.RLock()
_library: Optional[ctypes.CDLL] = None


class Functions:
    """The 17 functions as this package calls them: looked up once, and declared with
    their result type only. A walk makes thousands of calls, and checking each
    argument against argtypes cost more than the library's own work; so every call
    here passes ctypes objects only (byref of a record, the handle, a buffer, a small
    int), which ctypes hands over as they are."""

    def __init__(self, lib: ctypes.CDLL) -> None:
        prototype = (ctypes.WINFUNCTYPE  # type: ignore[attr-defined]
                     if WINDOWS else ctypes.CFUNCTYPE)
        for name, (restype, _) in _PROTOTYPES.items():
            setattr(self, name, prototype(restype)((name, lib)))

    def __getattr__(self, name: str) -> Any:  # the 17 set above; for the type checker
        raise AttributeError(name)


_functions: Optional[Functions] = None


def candidates(variable: str, file_names: List[str]) -> Iterator[str]:
    """The paths to try loading a library of this project by, in order: the one the
    environment `variable` names, else each of `file_names` beside this package, in the
    tree it was installed into and in the source tree's build directories, then as the
    system's loader finds them."""
    named = os.environ.get(variable)
    if named:
        yield named
        return
    here = os.path.dirname(os.path.abspath(__file__))
    up = os.pardir
    folders = [
        here,
        # Installed as <prefix>/lib/python3*/{dist,site}-packages/vesk/: the library is
        # in <prefix>/lib.
        os.path.join(here, up, up, up),
        # The source tree's python/vesk/: its build directories.
        os.path.join(here, up, up, "build", "release"),
        os.path.join(here, up, up, "build"),
    ]
    for folder in folders:
        for name in file_names:
            path = os.path.normpath(os.path.join(folder, name))
            if os.path.isfile(path):
                yield path
    yield from file_names  # the system's loader searches its own paths


def library() -> ctypes.CDLL:
    """The loaded library, with all 17 functions declared; loaded on first use.

    Raises OSError naming every place tried when none of them loads.
    """
    global _library, _functions
    with lock:
        if _library is not None:
            return _library
        # The 32-bit DLL uses stdcall; on every other target the C convention.
        loader = ctypes.WinDLL if WINDOWS else ctypes.CDLL  # type: ignore[attr-defined]
        tried = []
        for candidate in candidates("VESK_LIBRARY", _FILE_NAMES):
            try:
                lib: ctypes.CDLL = loader(candidate)
            except OSError as error:
                tried.append("%s (%s)" % (candidate, error))
                continue
            for name, (restype, argtypes) in _PROTOTYPES.items():
                function = getattr(lib, name)
                function.restype = restype
                function.argtypes = argtypes
            _functions = Functions(lib)
            _library = lib
            return lib
        raise OSError("vesk_10 library not found; tried: " + "; ".join(tried))


def functions() -> Functions:
    """The 17 functions of the loaded library; loads it on first use."""
    if _functions is None:
        library()
    assert _functions is not None
    return _functions
