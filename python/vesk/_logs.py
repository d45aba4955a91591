"""The companion library libvesk_logs (include/vesk_logs.h): vesk/transaction_logs.hpp's
recovery of a dirty hive with its transaction logs, the one vesk-dump --logs applies, for
this package to call with ctypes. libvesk_10 does not apply logs; this hands it a
recovered copy, an anonymous in-memory file (Linux's memfd), to open instead.

Found as libvesk_10 is (see _native.candidates), the environment variable
VESK_LOGS_LIBRARY naming it first.
"""

from __future__ import annotations

import ctypes
import os
import sys
from typing import Any, List, Optional, Sequence

from . import _native

__all__ = ["Recovery", "recover", "OUTCOMES"]

# vesk_logs_outcome()'s values, by the names the C++ interface gives them.
OUTCOMES = ("clean", "recovered", "partly_recovered", "not_recovered")
_FILE_NAMES = ["libvesk_logs.so.1", "libvesk_logs.so"]
_P = ctypes.c_void_p
_PROTOTYPES = {
    "vesk_logs_recover": (_P, [ctypes.c_char_p, ctypes.POINTER(ctypes.c_char_p), ctypes.c_int]),
    "vesk_logs_outcome": (ctypes.c_int, [_P]),
    "vesk_logs_dirty": (ctypes.c_int, [_P]),
    "vesk_logs_incomplete": (ctypes.c_int, [_P]),
    "vesk_logs_take_fd": (ctypes.c_int, [_P]),
    "vesk_logs_report": (ctypes.c_char_p, [_P]),
    "vesk_logs_problem": (ctypes.c_char_p, [_P]),
    "vesk_logs_free": (None, [_P]),
}
_companion: Optional[ctypes.CDLL] = None


class Recovery:
    """What applying a hive's logs did: ``outcome`` (one of OUTCOMES), ``dirty`` (the hive
    needed them), ``incomplete`` (what is read may miss changes they hold), ``lines`` (what
    was read, applied and left, as vesk-dump --logs says it), ``problem`` (why the hive
    cannot be read with them; "" when it can) and ``fd``, the recovered copy's descriptor
    (None when there is none), which the caller closes."""

    __slots__ = ("outcome", "dirty", "incomplete", "lines", "problem", "fd")

    def __init__(self, outcome: str, dirty: bool, incomplete: bool, lines: List[str],
                 problem: str, fd: Optional[int]) -> None:
        self.outcome = outcome
        self.dirty = dirty
        self.incomplete = incomplete
        self.lines = lines
        self.problem = problem
        self.fd = fd

    def __repr__(self) -> str:
        return "Recovery(%r, lines=%r)" % (self.outcome, self.lines)


def unsupported() -> Optional[str]:
    """Why this system cannot hold a recovered copy, or None when it can."""
    if not sys.platform.startswith("linux") or not hasattr(os, "memfd_create"):
        return ("applying transaction logs needs an anonymous in-memory file (Linux's"
                " memfd_create), which this system lacks")
    return None


def companion() -> ctypes.CDLL:
    """The loaded companion library; raises OSError naming every place tried."""
    global _companion
    with _native.lock:
        if _companion is not None:
            return _companion
        tried = []
        for candidate in _native.candidates("VESK_LOGS_LIBRARY", _FILE_NAMES):
            try:
                lib = ctypes.CDLL(candidate)
                for name, (restype, argtypes) in _PROTOTYPES.items():
                    function = getattr(lib, name)
                    function.restype = restype
                    function.argtypes = argtypes
            except (OSError, AttributeError) as error:
                tried.append("%s (%s)" % (candidate, error))
                continue
            _companion = lib
            return lib
        raise OSError("applying transaction logs needs the vesk_logs library, not found;"
                      " tried: " + "; ".join(tried))


def _text(value: Any) -> str:
    """A text of the companion's, in the file system's encoding as the names were given."""
    return os.fsdecode(value) if value else ""


def recover(raw_path: bytes, log_files: Sequence[bytes] = ()) -> Recovery:
    """Applies the logs beside the hive at `raw_path`, or the `log_files` when any are
    named, to a private copy. Raises OSError when this system or installation cannot."""
    why = unsupported()
    if why is not None:
        raise OSError(why)
    lib = companion()
    names = (ctypes.c_char_p * max(len(log_files), 1))(*log_files)
    # Each recovery is its own: no lock, so other threads go on reading their hives.
    handle = lib.vesk_logs_recover(raw_path, names, len(log_files))
    if not handle:
        raise MemoryError("no memory to apply the transaction logs")
    try:
        outcome = OUTCOMES[lib.vesk_logs_outcome(handle)]
        fd = lib.vesk_logs_take_fd(handle)
        return Recovery(outcome, bool(lib.vesk_logs_dirty(handle)),
                        bool(lib.vesk_logs_incomplete(handle)),
                        _text(lib.vesk_logs_report(handle)).splitlines(),
                        _text(lib.vesk_logs_problem(handle)), fd if fd >= 0 else None)
    finally:
        lib.vesk_logs_free(handle)
