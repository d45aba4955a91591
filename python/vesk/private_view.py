"""Private views of a dirty hive, which the library refuses, as anonymous in-memory files
(Linux's memfd) the library opens by their /proc/self/fd/N names. The hive on disk and
its logs are never written. Where the system offers no anonymous file, no view is made
and the hive is refused as dirty, as before.

- As it stands (ignore_dirty, vesk-dump's --ignore-dirty): the file's bytes, with the
  secondary sequence number set to the primary and the checksum made right, so that the
  library reads the primary file as it stands; it costs the file's size in memory.
- Recovered (logs, vesk-dump's --logs): the hive with its transaction logs applied, made
  by the companion library (_logs), no larger than the hive's declared size after them.
"""

from __future__ import annotations

import os
import struct
from typing import Optional, Sequence, Tuple

from ._logs import Recovery, recover

_SIGNATURE = b"regf"
_COPIED = 512       # the base block's part the checksum covers, and beyond
_CHECKSUM_AT = 508


def _checksum(block: bytes) -> int:
    total = 0
    for (word,) in struct.iter_unpack("<I", block[:_CHECKSUM_AT]):
        total ^= word
    return 1 if total == 0 else 0xFFFFFFFE if total == 0xFFFFFFFF else total


def sequence_numbers(raw_path: bytes) -> Optional[Tuple[int, int]]:
    """The primary and secondary sequence numbers, or None for a file that is no hive."""
    try:
        with open(raw_path, "rb") as f:
            block = f.read(_COPIED)
    except OSError:
        return None
    if len(block) < _COPIED or block[:4] != _SIGNATURE:
        return None
    primary, secondary = struct.unpack_from("<II", block, 4)
    return primary, secondary


def clean_view(raw_path: bytes) -> Tuple[int, bytes]:
    """An open descriptor of the view of the file at `raw_path`, and the path to open it
    by; raises OSError when no view can be made."""
    make = getattr(os, "memfd_create", None)
    if make is None or not os.path.isdir("/proc/self/fd"):
        raise OSError("reading a dirty hive needs an anonymous in-memory file, which this"
                      " system lacks")
    fd = make("vesk private view", getattr(os, "MFD_CLOEXEC", 1))
    try:
        with open(raw_path, "rb") as f:
            block = bytearray(f.read(_COPIED))
            os.write(fd, bytes(block))
            while True:
                chunk = f.read(1 << 16)
                if not chunk:
                    break
                os.write(fd, chunk)
        primary = struct.unpack_from("<I", block, 4)[0]
        struct.pack_into("<I", block, 8, primary)
        struct.pack_into("<I", block, _CHECKSUM_AT, _checksum(bytes(block)))
        os.pwrite(fd, bytes(block), 0)
    except BaseException:
        os.close(fd)
        raise
    return fd, view_path(fd)


def view_path(fd: int) -> bytes:
    """The name that opens the view held by descriptor `fd`."""
    return b"/proc/self/fd/%d" % fd


def recovered_view(raw_path: bytes, log_files: Sequence[bytes] = ()) -> Recovery:
    """The hive at `raw_path` with its transaction logs (those beside it, or `log_files`)
    applied; its ``fd`` is the view, when one was made, for the caller to close. Raises
    OSError when this system or installation cannot apply logs."""
    return recover(raw_path, log_files)
