#!/usr/bin/env python3
"""Python's plistlib on the same file: prints tracks, seconds, peak RSS (KiB)."""
import plistlib
import resource
import sys
import time

start = time.perf_counter()
with open(sys.argv[1], "rb") as f:
    library = plistlib.load(f)
seconds = time.perf_counter() - start
print(len(library.get("Tracks", {})), "%.3f" % seconds, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
