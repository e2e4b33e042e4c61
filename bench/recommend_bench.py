#!/usr/bin/env python3
"""How long recommendation takes from an empty store to 30 recommendations,
with every sandbox answer 50 ms late, beside the least time Last.fm's
0.3-second spacing allows for the Last.fm requests the run made. The ratio
shows how much the pipeline waits on itself (the two-second pause between
seeds included). A run without latency is printed beside it.

  bench/recommend_bench.py [LATENCY_MS]
"""
import os
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MIRELUNE = os.path.join(ROOT, "build", "release", "src", "cli", "mirelune")
SPACING = 0.3


def measure(latency_ms):
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ)
        env.update({"XDG_CONFIG_HOME": home + "/config", "XDG_DATA_HOME": home + "/data",
                    "XDG_CACHE_HOME": home + "/cache", "MIRELUNE_CONFIG": home + "/sandbox/config.json",
                    "HOME": home, "MIRELUNE_LOG": "error"})
        library = os.path.join(home, "library.xml")
        command = [MIRELUNE, "sandbox", "--port", "0", "--data", home + "/sandbox",
                   "--write-config", home + "/sandbox/config.json",
                   "--write-library", library, "--library-tracks", "300"]
        if latency_ms:
            command += ["--latency-ms", "/=%d" % latency_ms]
        sandbox = subprocess.Popen(command, stdout=subprocess.PIPE, text=True, env=env)
        try:
            sandbox.stdout.readline()

            def run(*args, stdin=None):
                return subprocess.run([MIRELUNE, *args], input=stdin, check=True, capture_output=True,
                                      text=True, env=env).stdout

            run("signup", "bench", stdin="password\n")
            run("library", "use", library)
            run("analyse")
            start = time.perf_counter()
            summary = run("recommend", "--until", "30").strip().splitlines()[-1]
            seconds = time.perf_counter() - start
        finally:
            sandbox.terminate()
            sandbox.wait()
    found = re.search(r"(\d+) in all, from (\d+) seeds with (\d+) Last.fm requests", summary)
    if not found:
        sys.exit("unexpected summary: " + summary)
    stored, seeds, requests = (int(n) for n in found.groups())
    bound = max(requests - 1, 0) * SPACING
    return seconds, stored, seeds, requests, bound


def main():
    latency = int(sys.argv[1]) if len(sys.argv) > 1 else 50
    print("empty store to 30 recommendations (300-track library):")
    for label, ms in (("no latency", 0), ("%d ms per answer" % latency, latency)):
        seconds, stored, seeds, requests, bound = measure(ms)
        print("  %-18s %6.2f s   %d stored from %d seeds, %d Last.fm requests, spacing bound %.2f s: %.2fx"
              % (label, seconds, stored, seeds, requests, bound, seconds / bound if bound else float("nan")))


if __name__ == "__main__":
    main()
