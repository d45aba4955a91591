"""Lists every key of a hive with its values, then the totals: vesk from Python."""
import sys

import vesk

if len(sys.argv) != 2:
    sys.exit("usage: use.py HIVE")
keys = values = 0
try:
    hive = vesk.Hive(sys.argv[1])
except OSError as error:  # FileNotFoundError and the like, or a vesk.HiveError
    sys.exit(str(error))
with hive:
    for path, key in hive.walk():
        indent = "  " * (path.count("\\") + 1 if path else 0)
        print(indent + key.name)
        for value in key.values():
            print("%s  = %s (type %d, %d bytes)" % (indent, value.name, value.type, value.length))
            values += 1
        keys += 1
print("%d keys, %d values" % (keys, values))
