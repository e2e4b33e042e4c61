#!/usr/bin/env python3
"""The music library's speed, against Python's plistlib on the same file.

  bench/library_bench.py [TRACKS]

1. `mirelune library scan` of a generated library: time and peak memory,
   beside plistlib.load of the same file.
2. A first user song check (`mirelune analyse`) against the sandbox:
   everything queued, everything uploaded.
3. The same check again on the unchanged library: it only counts.
"""
import json
import os
import plistlib
import resource
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MIRELUNE = os.path.join(ROOT, "build", "release", "src", "cli", "mirelune")


def library_file(tracks):
    path = os.path.join(ROOT, "build", "bench", "library-%d.xml" % tracks)
    if not os.path.exists(path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run([sys.executable, os.path.join(ROOT, "bench", "gen_library.py"), str(tracks), path],
                       check=True)
    return path


def child_peak_kib():
    return resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss


def main():
    tracks = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    path = library_file(tracks)
    size_mib = os.path.getsize(path) / 1048576

    # The scan first: a child forked from a parent that holds plistlib's
    # tree would count that tree as its own peak.
    scan = subprocess.run([MIRELUNE, "library", "scan", "--json", "--file", path],
                          check=True, capture_output=True, text=True)
    result = json.loads(scan.stdout)
    peak_mib = child_peak_kib() / 1024

    start = time.perf_counter()
    with open(path, "rb") as f:
        plistlib.load(f)
    plistlib_seconds = time.perf_counter() - start

    print("library: %s (%d tracks, %.0f MiB)" % (path, result["tracks"], size_mib))
    print("  plistlib.load          %7.3f s" % plistlib_seconds)
    print("  mirelune library scan  %7.3f s   %.1fx faster   peak %.0f MiB (%.2fx the file)"
          % (result["seconds"], plistlib_seconds / result["seconds"], peak_mib, peak_mib / size_mib))

    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ)
        env.update({"XDG_CONFIG_HOME": home + "/config", "XDG_DATA_HOME": home + "/data",
                    "XDG_CACHE_HOME": home + "/cache", "MIRELUNE_CONFIG": home + "/sandbox/config.json",
                    "MIRELUNE_LOG": "error"})
        sandbox = subprocess.Popen([MIRELUNE, "sandbox", "--port", "0", "--data", home + "/sandbox",
                                    "--write-config", home + "/sandbox/config.json"],
                                   stdout=subprocess.PIPE, text=True, env=env)
        try:
            sandbox.stdout.readline()
            subprocess.run([MIRELUNE, "signup", "bench"], input="password\n", check=True,
                           capture_output=True, text=True, env=env)
            subprocess.run([MIRELUNE, "library", "use", path], check=True, capture_output=True, env=env)
            for label in ("first check (queue and upload everything)", "unchanged library (count only)"):
                start = time.perf_counter()
                run = subprocess.run([MIRELUNE, "analyse"], check=True, capture_output=True, text=True, env=env)
                seconds = time.perf_counter() - start
                print("  %-44s %7.3f s   %s" % (label, seconds, run.stdout.strip().splitlines()[-1]))
        finally:
            sandbox.terminate()
            sandbox.wait()


if __name__ == "__main__":
    main()
