"""The full walk of a hive from Python: every key's name, every value's name, type and
typed value, through vesk.py and, where it is installed, through python3-hivex; the two
taken in turn. Prints the median of each, in seconds.

Usage: python_walk.py HIVE REPS   (vesk.py from PYTHONPATH, its library from VESK_LIBRARY)
"""
import statistics
import sys
import time
import warnings

import vesk

try:
    import hivex
except ImportError:
    hivex = None


def vesk_walk(path):
    with vesk.Hive(path) as hive, warnings.catch_warnings():
        warnings.simplefilter("ignore", vesk.SubkeysNotReadWarning)
        for _, key in hive.walk():
            for value in key.values():
                value.name, value.type
                try:
                    value.value
                except vesk.ValueDataError:
                    value.data


# python3-hivex's reader for each type that has one.
TYPED = {1: "value_string", 2: "value_string", 7: "value_multiple_strings", 4: "value_dword",
         5: "value_dword", 11: "value_qword"}


def hivex_walk(path):
    h = hivex.Hivex(path)
    pending = [h.root()]
    while pending:
        node = pending.pop()
        h.node_name(node)
        for value in h.node_values(node):
            h.value_key(value)
            read = TYPED.get(h.value_type(value)[0], "value_value")
            try:
                getattr(h, read)(value)
            except RuntimeError:  # data that does not fit its type, as vesk.py's bytes
                h.value_value(value)
        pending.extend(reversed(h.node_children(node)))


def seconds(walk, path):
    start = time.perf_counter()
    walk(path)
    return time.perf_counter() - start


def main():
    if len(sys.argv) != 3 or not sys.argv[2].isdigit() or int(sys.argv[2]) < 1:
        sys.exit("usage: python_walk.py HIVE REPS")
    path, reps = sys.argv[1], int(sys.argv[2])
    vesk_walk(path)  # warms the page cache and loads the library
    ours, theirs = [], []
    for _ in range(reps):
        ours.append(seconds(vesk_walk, path))
        if hivex:
            theirs.append(seconds(hivex_walk, path))
    print("vesk_s=%.6f" % statistics.median(ours))
    print("hivex_s=%s" % ("%.6f" % statistics.median(theirs) if theirs else "n/a"))


if __name__ == "__main__":
    main()
