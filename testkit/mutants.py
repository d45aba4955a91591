"""Seeded mutants of real hives, for tests that read damaged files through several
readers: bit flips, cell sizes, offsets pointed at other cells, counts, cuts and
self-references, each made from a map of the hive's cells. The same seed gives the same
mutant on every machine (random.Random is the same everywhere).
"""

from __future__ import annotations

import random
import struct
from typing import Dict, List, NamedTuple, Tuple

FIRST_BIN = 4096
KINDS = ("bitflip", "cellsize", "offset", "count", "cut", "selfref")


class Cells(NamedTuple):
    all: List[int]          # file offsets of every cell's size field
    nk: List[int]           # contents offsets of key nodes
    vk: List[int]
    lf: List[int]


def cells_of(data: bytes) -> Cells:
    cells = Cells([], [], [], [])
    at = FIRST_BIN
    while at + 32 <= len(data) and data[at:at + 4] == b"hbin":
        size = struct.unpack_from("<I", data, at + 8)[0]
        if size < 32 or size % 4096:
            break
        cell, end = at + 32, min(at + size, len(data))
        while cell + 8 <= end:
            length = abs(struct.unpack_from("<i", data, cell)[0])
            if length < 8:
                break
            cells.all.append(cell)
            sig = data[cell + 4:cell + 6]
            {b"nk": cells.nk, b"vk": cells.vk, b"lf": cells.lf}.get(sig, []).append(cell + 4)
            cell += length
        at += size
    return cells


def relative(contents: int) -> int:
    """The cell offset a record stores for the cell whose contents are at `contents`."""
    return contents - FIRST_BIN - 4


def lf_elements(data: bytes, lf: int) -> List[int]:
    """The file offsets of an lf list's element fields."""
    count = struct.unpack_from("<H", data, lf + 2)[0]
    return [lf + 4 + 8 * i for i in range(count) if lf + 8 + 8 * i <= len(data)]


def owners(data: bytes, cells: Cells) -> Dict[int, int]:
    """Each lf list's contents offset -> the key node naming it."""
    out = {}
    for nk in cells.nk:
        if nk + 32 <= len(data):
            stored = struct.unpack_from("<I", data, nk + 28)[0]
            out[(stored + FIRST_BIN + 4) & 0xFFFFFFFF] = nk
    return out


def put32(buf: bytearray, at: int, value: int) -> None:
    if 0 <= at and at + 4 <= len(buf):
        struct.pack_into("<I", buf, at, value & 0xFFFFFFFF)


def mutate(data: bytes, seed: int) -> Tuple[str, bytes]:
    """One mutant of `data` and its kind, chosen by `seed`."""
    rng = random.Random(seed)
    kind = KINDS[seed % len(KINDS)]
    buf = bytearray(data)
    cells = cells_of(data)
    if kind == "bitflip" or not cells.nk:
        for _ in range(rng.randint(1, 8)):
            at = rng.randrange(FIRST_BIN, len(buf))
            buf[at] ^= 1 << rng.randrange(8)
        return "bitflip", bytes(buf)
    if kind == "cellsize":
        for _ in range(rng.randint(1, 3)):
            put32(buf, rng.choice(cells.all), rng.choice(
                [0, 8, -8, 0x7FFFFFF0, rng.randrange(-0x10000, 0x10000)]))
    elif kind == "offset":
        fields = [e for lf in cells.lf for e in lf_elements(data, lf)]
        fields += [nk + 28 for nk in cells.nk] + [nk + 40 for nk in cells.nk]
        for _ in range(rng.randint(1, 3)):
            target = rng.choice(cells.all + [len(data) - 8, 0x7FFFFFF0 + FIRST_BIN])
            put32(buf, rng.choice(fields), target - FIRST_BIN + rng.choice([0, 0, 4, 1]))
    elif kind == "count":
        for _ in range(rng.randint(1, 2)):
            big = rng.choice([0, 1, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF, rng.randrange(1, 4000)])
            if cells.lf and rng.random() < 0.4:
                struct.pack_into("<H", buf, rng.choice(cells.lf) + 2, big & 0xFFFF)
            else:
                put32(buf, rng.choice(cells.nk) + rng.choice([20, 36]), big)
    elif kind == "cut":
        return kind, bytes(buf[:rng.randrange(FIRST_BIN + 64, len(buf))])
    elif kind == "selfref":
        fields = [(lf, e) for lf in cells.lf for e in lf_elements(data, lf)]
        by_list = owners(data, cells)
        if not fields:
            return mutate(data, seed + len(KINDS) - seed % len(KINDS))
        for _ in range(rng.randint(1, 2)):
            lf, element = rng.choice(fields)
            owner = by_list.get(lf, rng.choice(cells.nk))
            parent = struct.unpack_from("<I", data, owner + 16)[0]
            put32(buf, element, rng.choice([relative(owner), parent]))
    return kind, bytes(buf)


def corrupt_lists(data: bytes) -> List[Tuple[str, bytes]]:
    """Copies of `data` whose first lf list with at least two elements has one element
    pointing at a zeroed cell, one past the file, one at a value node: the damage public
    test collections hold."""
    cells = cells_of(data)
    lf = next(c for c in cells.lf if len(lf_elements(data, c)) >= 2)
    element = lf_elements(data, lf)[1]
    out = []
    zeroed = bytearray(data)
    victim = struct.unpack_from("<I", data, element)[0] + FIRST_BIN + 4
    size = abs(struct.unpack_from("<i", data, victim - 4)[0])
    zeroed[victim:victim + size - 4] = bytes(size - 4)
    out.append(("zeroed cell", bytes(zeroed)))
    past = bytearray(data)
    put32(past, element, len(data) + 0x1000)
    out.append(("past the file", bytes(past)))
    at_value = bytearray(data)
    put32(at_value, element, relative(cells.vk[0]))
    out.append(("at a value node", bytes(at_value)))
    return out


def dirty_copy(data: bytes, minor: int = 3) -> bytes:
    """A copy whose secondary sequence number is one behind its primary, as a hive
    copied from a live system is, with its checksum made right; `minor` its version."""
    buf = bytearray(data)
    primary = struct.unpack_from("<I", buf, 4)[0]
    put32(buf, 8, primary - 1)
    put32(buf, 24, minor)
    total = 0
    for (word,) in struct.iter_unpack("<I", bytes(buf[:508])):
        total ^= word
    put32(buf, 508, 1 if total == 0 else 0xFFFFFFFE if total == 0xFFFFFFFF else total)
    return bytes(buf)
