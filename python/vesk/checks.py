"""The checks a record passes before it is trusted, judged only from the offsets, counts
and signatures the library's records hold, the file's size and the hive size its base
block declares: the same rules as vesk/cell_checks.hpp (and vesk-dump), from the one
table below. An element naming no cell in the file, or a cell of the wrong kind, is
skipped and reported as a Damage; no list is read past what the file can hold.
"""

from __future__ import annotations

from typing import List, NamedTuple, Optional, Tuple

# The layout facts the checks use (vesk/layout.hpp holds the same).
LAYOUT = {
    "first_bin_at": 4096,
    "first_cell_contents_at": 36,   # within the first bin
    "cell_size_bytes": 4,           # contents sit this far into an 8-aligned cell
    "cell_content_bias": 4100,      # a cell offset plus this is its contents' file offset
    "no_cell": 0xFFFFFFFF,
    "base_block_bytes": 4096,
    "sig_nk": 0x6B6E,
    "sig_vk": 0x6B76,
    "sig_lf": 0x666C,
    "nk_name_at": 76,               # a key node's fixed part
    "vk_name_at": 20,               # a value node's fixed part
    "lf_header_bytes": 4,
    "lf_elements_at": 4,
    "lf_element_bytes": 8,
    "value_list_element_bytes": 4,
    "inline_max_bytes": 4,
    "most_lf_elements": 0x7FFF,     # whatever a damaged count says
    "failures_in_a_row": 8,         # within a trusted count, this many end a list
}
_L = LAYOUT
_MASK = 0xFFFFFFFF
# The facts every element's check reads, taken from the table once: a walk checks
# thousands of elements, and a lookup in the table each time cost more than the check.
_FIRST_CONTENTS = _L["first_bin_at"] + _L["first_cell_contents_at"]
_CELL_SIZE_BYTES = _L["cell_size_bytes"]
_CONTENT_BIAS = _L["cell_content_bias"]
_INLINE_MAX = _L["inline_max_bytes"]
_NK_NAME_AT, _VK_NAME_AT = _L["nk_name_at"], _L["vk_name_at"]
_SIG_NK, _SIG_VK = _L["sig_nk"], _L["sig_vk"]

IN_FILE, PAST_END, NO_CELL = "in_file", "past_end", "no_cell"
SOUND, WRONG_KIND = "sound", "wrong_kind"
SUBKEYS, VALUES = "subkeys", "values"


class Damage(NamedTuple):
    """One thing the checks found. ``kind``: "skipped" (elements first..last named no
    cell, ``no_cell`` of them, or a cell of the wrong kind, ``wrong_kind``; ``unread``
    after them left unread), "no_list", "list_no_cell", "list_not_followed" (``count``:
    its signature), "count_mismatch", "list_beyond_file", "negative_count", "past_end"
    (``number`` references into the part a cut file lost), "data_no_cell" (value
    ``first``'s data), "revisit" (a key met again, not entered). ``items``: "subkeys" or
    "values"; ``at``: the file offset concerned."""
    kind: str
    items: str
    at: int
    first: int = -1
    last: int = -1
    no_cell: int = 0
    wrong_kind: int = 0
    unread: int = 0
    number: int = 0


class Extent(NamedTuple):
    file_size: int
    hive_end: int

    @property
    def cut(self) -> bool:
        return self.file_size < self.hive_end


def extent_of(file_size: int, hive_bins_size: int) -> Extent:
    file_size &= _MASK
    if hive_bins_size % _L["base_block_bytes"] == 0:
        return Extent(file_size, _L["first_bin_at"] + hive_bins_size)
    return Extent(file_size, file_size)


def cell_contents(cell: int) -> int:
    return (cell + _CONTENT_BIAS) & _MASK


def place_cell(extent: Extent, at: int, size: int) -> str:
    if at < _FIRST_CONTENTS or at & 7 != _CELL_SIZE_BYTES:
        return NO_CELL
    end = at + size
    file_size, hive_end = extent
    if end <= file_size:
        return IN_FILE
    if file_size < hive_end and end <= hive_end:  # a cut file
        return PAST_END
    return NO_CELL


def elements_in_file(extent: Extent, at: int, header: int, element: int) -> int:
    first = at + header
    if first > extent.file_size:
        return 0
    return min((extent.file_size - first) // element, _MASK)


def judge_element(extent: Extent, items: str, at: int, signature: int) -> str:
    keys = items == SUBKEYS
    place = place_cell(extent, at, _NK_NAME_AT if keys else _VK_NAME_AT)
    if place != IN_FILE:
        return place
    return SOUND if signature == (_SIG_NK if keys else _SIG_VK) else WRONG_KIND


def place_data(extent: Extent, data_offset: int, length: int) -> str:
    if length <= _INLINE_MAX:
        return IN_FILE
    return place_cell(extent, (data_offset + _CONTENT_BIAS) & _MASK, length)


def sound_key(extent: Extent, at: int, signature: int) -> bool:
    """Whether a subkey element is sound, the common case, in one test: judge_element()
    gives SOUND exactly then."""
    return signature == _SIG_NK and at >= _FIRST_CONTENTS and \
        at & 7 == _CELL_SIZE_BYTES and at + _NK_NAME_AT <= extent[0]


def sound_value(extent: Extent, at: int, signature: int, data_offset: int,
                length: int) -> bool:
    """Whether a value element is sound and its data in the file, the common case, in
    one test: judge_element() gives SOUND and data_damage() None exactly then."""
    if signature != _SIG_VK or at < _FIRST_CONTENTS or at & 7 != _CELL_SIZE_BYTES or \
            at + _VK_NAME_AT > extent[0]:
        return False
    if length <= _INLINE_MAX:
        return True
    data_at = (data_offset + _CONTENT_BIAS) & _MASK
    return data_at >= _FIRST_CONTENTS and data_at & 7 == _CELL_SIZE_BYTES and \
        data_at + length <= extent[0]


class ListRun:
    """The reading of one list's elements in order: past its trusted count a list is
    read only while its elements pass; within it, a run of failures_in_a_row failures
    ends it. Consecutive failures make one "skipped" Damage."""

    def __init__(self, items: str = SUBKEYS, end: int = 0, trusted: int = 0) -> None:
        self.items, self.end, self.trusted = items, end, trusted
        self.next = 0
        self.in_row = 0
        self.run: Optional[List[int]] = None  # first, last, at, no_cell, wrong_kind

    def more(self) -> bool:
        return self.next < self.end

    def take(self) -> int:
        self.next += 1
        return self.next - 1

    def judge(self, extent: Extent, index: int, at: int, signature: int,
              out: List[Damage]) -> str:
        e = judge_element(extent, self.items, at, signature)
        if e == SOUND:
            if self.run is not None:
                self._flush(0, out)
            self.in_row = 0
        elif e != PAST_END:  # no cell, or one of the wrong kind
            self._failed(e == WRONG_KIND, index, at, out)
        return e

    def judge_and_report(self, extent: Extent, index: int, at: int, signature: int,
                         out: List[Damage]) -> bool:
        """judge(), an element in the part a cut file lost reported too; whether the
        element is sound, to be read."""
        e = self.judge(extent, index, at, signature, out)
        if e == PAST_END:
            out.append(Damage("past_end", self.items, at, index, index, number=1))
        return e == SOUND

    def finish(self, out: List[Damage]) -> None:
        self._flush(0, out)

    def _failed(self, cell_found: bool, index: int, at: int, out: List[Damage]) -> None:
        if self.run is not None and self.run[1] + 1 != index:
            self._flush(0, out)
        if self.run is None:
            self.run = [index, index, at, 0, 0]
        self.run[1] = index
        self.run[4 if cell_found else 3] += 1
        self.in_row += 1
        if index >= self.trusted or self.in_row >= _L["failures_in_a_row"]:
            self._flush(self.end - index - 1, out)
            self.next = self.end

    def _flush(self, unread: int, out: List[Damage]) -> None:
        if self.run is None:
            return
        first, last, at, no_cell, wrong = self.run
        out.append(Damage("skipped", self.items, at, first, last, no_cell, wrong, unread))
        self.run = None


def subkey_list_in_file(extent: Extent, offset: int, counted: int, subkey_list: int,
                        out: List[Damage]) -> bool:
    at = cell_contents(subkey_list)
    place = place_cell(extent, at, _L["lf_header_bytes"])
    if place == IN_FILE:
        return True
    if place == PAST_END:
        if counted > 0:
            out.append(Damage("past_end", SUBKEYS, at,
                              number=min(counted, _L["most_lf_elements"])))
        return False
    if counted != 0:
        if subkey_list == _L["no_cell"]:
            out.append(Damage("no_list", SUBKEYS, offset, number=counted))
        else:
            out.append(Damage("list_no_cell", SUBKEYS, at, number=counted))
    return False


def plan_subkeys(extent: Extent, counted: int, signature: int, list_at: int, list_count: int,
                 held: int, out: List[Damage]) -> ListRun:
    if signature != _L["sig_lf"]:
        if counted != 0:
            out.append(Damage("list_not_followed", SUBKEYS, list_at, number=signature))
        return ListRun()
    fit = min(elements_in_file(extent, list_at, _L["lf_elements_at"], _L["lf_element_bytes"]),
              _L["most_lf_elements"])
    end = min(held, fit)
    trusted = min(max(counted, 0), end)
    if list_count != counted:
        out.append(Damage("count_mismatch", SUBKEYS, list_at, number=list_count))
    if held > fit:
        list_end = list_at + _L["lf_elements_at"] + _L["lf_element_bytes"] * held
        if extent.cut and list_end <= extent.hive_end:
            out.append(Damage("past_end", SUBKEYS, list_at, number=held - fit))
        else:
            out.append(Damage("list_beyond_file", SUBKEYS, list_at, number=held))
            trusted = 0
    return ListRun(SUBKEYS, end, trusted)


def plan_values(extent: Extent, offset: int, count: int, value_list: int,
                out: List[Damage]) -> ListRun:
    if count == 0 or value_list == _L["no_cell"]:
        return ListRun(VALUES)
    if count < 0:
        out.append(Damage("negative_count", VALUES, offset, number=count))
        return ListRun(VALUES)
    at = cell_contents(value_list)
    step = _L["value_list_element_bytes"]
    place = place_cell(extent, at, step)
    if place != IN_FILE:
        out.append(Damage("past_end" if place == PAST_END else "list_no_cell", VALUES, at,
                          number=count))
        return ListRun(VALUES)
    fit = elements_in_file(extent, at, 0, step)
    end = min(fit, count)
    trusted = end
    if end < count:
        if extent.cut and at + step * count <= extent.hive_end:
            out.append(Damage("past_end", VALUES, at, number=count - end))
        else:
            out.append(Damage("list_beyond_file", VALUES, at, number=count))
            trusted = 0
    return ListRun(VALUES, end, trusted)


def data_damage(extent: Extent, index: int, data_offset: int,
                length: int) -> Optional[Damage]:
    place = place_data(extent, data_offset, length)
    if place == IN_FILE:
        return None
    return Damage("past_end" if place == PAST_END else "data_no_cell", VALUES,
                  cell_contents(data_offset), index, index, number=length)


__all__: Tuple[str, ...] = ("Damage", "LAYOUT", "ListRun", "Extent", "extent_of")
