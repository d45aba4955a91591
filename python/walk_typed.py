"""Walks a hive and sums what its values hold by kind, reading each value typed without
letting odd data stop the walk; type-checked with mypy --strict by the packaging tests."""
import sys
from typing import Dict, List, Optional

import vesk


def summary(path: str) -> Dict[str, int]:
    counts: Dict[str, int] = {"keys": 0, "texts": 0, "lists": 0, "numbers": 0, "bytes": 0,
                              "unnamed": 0, "unreadable names": 0}
    with vesk.Hive(path) as hive:
        for _, key in hive.walk():
            counts["keys"] += 1
            parent: Optional[vesk.Key] = key.parent
            assert parent is None or key.path.startswith(parent.path)
            for value in key.values():
                name: Optional[str] = value.name
                if name is None:
                    counts["unreadable names"] += 1
                elif name == "":
                    counts["unnamed"] += 1
                read = value.value_or_data()
                if isinstance(read, str):
                    counts["texts"] += 1
                elif isinstance(read, list):
                    strings: List[str] = read
                    counts["lists"] += 1 if strings else 0
                elif isinstance(read, int):
                    counts["numbers"] += 1
                elif isinstance(read, bytes):
                    counts["bytes"] += 1
    return counts


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: walk_typed.py HIVE")
    try:
        found = summary(sys.argv[1])
    except OSError as error:  # FileNotFoundError and the like, or a vesk.HiveError
        sys.exit(str(error))
    print(", ".join("%d %s" % (n, what) for what, n in found.items()))
