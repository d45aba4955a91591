#!/usr/bin/env python3
"""A second, separate route to a dirty hive's recovery, for the tests to compare with
the C++ component: whole files in memory, one function per step, no shared code.

recover.py HIVE OUT [LOG ...]   logs default to HIVE.LOG, HIVE.LOG1, HIVE.LOG2 beside it.
Writes the recovered hive to OUT (nothing when not recovered) and prints one JSON line:
{"outcome", "sequence", "entries", "pages", "stopped_at"}.
"""
import json
import os
import struct
import sys

SEED = 0x82EF4D887A4E55C5
M32 = 0xFFFFFFFF


def rotl(v, n):
    return ((v << n) | (v >> (32 - n))) & M32


def marvin32(data, seed=SEED):
    lo, hi = seed & M32, seed >> 32

    def rnd(lo, hi):
        hi ^= lo
        lo = (rotl(lo, 20) + hi) & M32
        hi = rotl(hi, 9) ^ lo
        lo = (rotl(lo, 27) + hi) & M32
        return lo, rotl(hi, 19)

    whole = len(data) - len(data) % 4
    for (w,) in struct.iter_unpack("<I", data[:whole]):
        lo, hi = rnd((lo + w) & M32, hi)
    tail = int.from_bytes(data[whole:] + b"\x80", "little")
    lo, hi = rnd((lo + tail) & M32, hi)
    lo, hi = rnd(lo, hi)
    return hi << 32 | lo


def u32(b, at):
    return struct.unpack_from("<I", b, at)[0] if at + 4 <= len(b) else None


def xor_sum(block):
    s = 0
    for w in struct.unpack("<127I", block[:508]):
        s ^= w
    return {0: 1, M32: 0xFFFFFFFE}.get(s, s)


def header_ok(h):
    return len(h) >= 512 and h[:4] == b"regf" and u32(h, 508) == xor_sum(h) and u32(h, 4) == u32(h, 8)


def later(a, b):  # a comes after b, with wrap-around
    return 0 < ((a - b) & M32) < 0x80000000


def find_logs(hive):
    folder, name = os.path.split(hive)
    entries = sorted(os.listdir(folder or "."))
    found = {}
    for ext in ("LOG", "LOG1", "LOG2"):
        hits = [e for e in entries if e.upper() == (name + "." + ext).upper()]
        hits.sort(key=lambda e: not e.endswith(ext))
        if hits:
            found[ext] = os.path.join(folder, hits[0])
    return found


def slots_for(paths):
    found = {}
    for p in paths:
        ext = os.path.splitext(p)[1][1:].upper()
        slot = ext if ext in ("LOG", "LOG1", "LOG2") and ext not in found else \
            next(s for s in ("LOG1", "LOG2", "LOG") if s not in found)
        found[slot] = p
    return found


def finish(img, bins, seq, flags):
    img = bytearray(img[:4096 + bins].ljust(4096 + bins, b"\0"))
    struct.pack_into("<II", img, 4, seq, seq)
    struct.pack_into("<I", img, 28, 0)
    struct.pack_into("<I", img, 40, bins)
    struct.pack_into("<I", img, 144, flags)
    struct.pack_into("<I", img, 508, xor_sum(img))
    return img


def load_primary(hive, base):
    """The base block in use (4096 bytes, or a log's 512 padded) and the bins it declares."""
    with open(hive, "rb") as f:
        data = f.read(4096 + u32(base, 40))
    return bytearray(base[:4096].ljust(4096, b"\0")) + data[4096:]


def entry_fault(log, at, expect):
    """None for a good entry, 'end' for the normal end, else the fault."""
    if log[at:at + 4] != b"HvLE":
        return "end"
    if at + 40 > len(log):
        return "cut short"
    size, flags, seq, bins, n = struct.unpack_from("<5I", log, at + 4)
    if size < 512 or size % 512 or at + size > len(log):
        return "size"
    e = log[at:at + size]
    if bins == 0 or bins % 4096 or bins > 0x7FFFE000:
        return "bins size"
    if n == 0 or 40 + 8 * n > size:
        return "page count"
    if marvin32(e[:32]) != struct.unpack_from("<Q", e, 32)[0]:
        return "header hash"
    if marvin32(e[40:]) != struct.unpack_from("<Q", e, 24)[0]:
        return "page hash"
    if seq != expect:
        return "end" if later(expect, seq) else "sequence"
    used = 40 + 8 * n
    for i in range(n):
        off, ln = struct.unpack_from("<II", e, 40 + 8 * i)
        if off % 512 or ln % 512 or ln == 0 or off + ln > bins or used + ln > size:
            return "reference"
        used += ln
    return None


def apply_entry(img, log, at):
    size, flags, seq, bins, n = struct.unpack_from("<5I", log, at + 4)
    img[4096 + bins:] = b""
    img.extend(b"\0" * (4096 + bins - len(img)))
    data = at + 40 + 8 * n
    for i in range(n):
        off, ln = struct.unpack_from("<II", log, at + 40 + 8 * i)
        img[4096 + off:4096 + off + ln] = log[data:data + ln]
        data += ln
    return bins, flags & 1, seq


def recover_new(hive, base, valid, logs):
    order = list(logs)
    if len(order) == 2 and later(u32(order[0][1], 4), u32(order[1][1], 4)):
        order.reverse()
    if not valid:
        order = order[-1:]
        base = order[0][1][:512]
    else:
        sec = u32(base, 8)
        order = [o for o in order if not later(sec, u32(o[1], 4))]
    if not order:
        return None, {"outcome": "not_recovered"}
    img = load_primary(hive, base)
    bins, flags = u32(base, 40), u32(base, 144)
    img = img[:4096 + bins]
    last, entries, stop = None, 0, None
    for k, (path, log) in enumerate(order):
        expect = u32(log, 4) if last is None else (last + 1) & M32
        if k > 0 and (last is None or u32(log, 4) != expect):
            break
        at = 512
        while at < len(log):
            fault = entry_fault(log, at, expect)
            if fault == "end":
                break
            if fault:
                stop = (os.path.basename(path), at, fault)
                break
            bins, bit, last = apply_entry(img, log, at)
            flags = (flags & ~1) | bit
            entries += 1
            expect = (last + 1) & M32
            at += u32(log, at + 4)
        if stop:
            break
    if last is None:
        return None, {"outcome": "not_recovered"}
    return finish(img, bins, last, flags), {"outcome": "partly_recovered" if stop else "recovered",
                                            "sequence": last, "entries": entries, "stopped_at": stop}


def recover_old(hive, base, valid, chosen):
    path, log = chosen
    bins = u32(log, 40)
    if log[512:516] != b"DIRT":
        return None, {"outcome": "not_recovered"}
    bitmap = log[516:516 + bins // 4096]
    bits = [i for i in range(len(bitmap) * 8) if bitmap[i // 8] >> (i % 8) & 1]
    start = -(-(516 + len(bitmap)) // 512) * 512
    if len(log) < start + 512 * len(bits) or not bits:
        return None, {"outcome": "not_recovered"}
    primary = load_primary(hive, base if valid else log[:512])
    merged = bytearray(primary[:4096 + bins].ljust(4096 + bins, b"\0"))
    for k, b in enumerate(bits):
        merged[4096 + 512 * b:4096 + 512 * b + 512] = log[start + 512 * k:start + 512 * k + 512]
    # The first bin a dirty page lies in that is no bin: pages from there keep the primary's bytes.
    cut, at, dirty = bins, 0, set(bits)
    while at < bins:
        sig, own, size = merged[4096 + at:4100 + at], u32(merged, 4100 + at), u32(merged, 4104 + at)
        if sig == b"hbin" and own == at and size >= 4096 and size % 4096 == 0 and at + size <= bins:
            at += size
            continue
        if any(p in dirty for p in range(at // 512, at // 512 + 8)):
            cut = at
        break
    applied = [b for b in bits if 512 * b < cut]
    img = bytearray(primary[:4096 + bins].ljust(4096 + bins, b"\0"))
    for k, b in enumerate(applied):
        img[4096 + 512 * b:4096 + 512 * b + 512] = log[start + 512 * k:start + 512 * k + 512]
    if not applied:
        return None, {"outcome": "not_recovered"}
    return finish(img, bins, u32(log, 4), u32(log, 144)), {
        "outcome": "partly_recovered" if cut < bins else "recovered", "sequence": u32(log, 4),
        "pages": len(applied), "stopped_at": None if cut == bins else cut}


def recover(hive, log_paths):
    with open(hive, "rb") as f:
        base = f.read(4096)
    valid = base[:4] == b"regf" and u32(base, 508) == xor_sum(base)
    if valid and u32(base, 4) == u32(base, 8):
        return None, {"outcome": "clean"}
    found = slots_for(log_paths) if log_paths else find_logs(hive)
    usable = {}
    for slot, p in found.items():
        with open(p, "rb") as f:
            data = f.read()
        if header_ok(data) and u32(data, 28) in (1, 2, 6):
            usable[slot] = (p, data)
    for types in ((6,), (1, 2)):
        mine = {s: v for s, v in usable.items() if u32(v[1], 28) in types}
        dual = [mine[s] for s in ("LOG1", "LOG2") if s in mine]
        pick = dual or ([mine["LOG"]] if "LOG" in mine else [])
        if not pick:
            continue
        if types == (6,):
            return recover_new(hive, base, valid, pick)
        chosen = pick[0]
        if len(pick) == 2:
            own = struct.unpack_from("<Q", base if valid else base.ljust(4124, b"\0"), 12 if valid else 4116)[0]
            t1, t2 = (struct.unpack_from("<Q", x[1], 12)[0] for x in pick)
            chosen = pick[1] if t1 != own and t2 > t1 else pick[0]
        return recover_old(hive, base, valid, chosen)
    return None, {"outcome": "not_recovered"}


def main():
    image, summary = recover(sys.argv[1], sys.argv[3:])
    if image is not None:
        with open(sys.argv[2], "wb") as f:
            f.write(image)
    print(json.dumps(summary))


if __name__ == "__main__":
    main()
