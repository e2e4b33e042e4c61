#!/usr/bin/env python3
"""How long `mirelune play recommend --no-keys` takes, with 30 stored
recommendations on the sandbox, from its start to the first sound written
at the sink, beside `gst-launch-1.0 playbin` playing a sandbox preview
to the same kind of sink from its start. Each side writes to a named pipe
read here; the first byte read is the first buffer. The goal: under 1.5 s.

  bench/play_bench.py [RUNS]
"""
import json
import os
import select
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MIRELUNE = os.path.join(ROOT, "build", "release", "src", "cli", "mirelune")
GOAL = 1.5


def first_byte(command, fifo, env):
    """Seconds from starting `command` to the first byte in `fifo`."""
    os.mkfifo(fifo)
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               env=env)
    try:
        # Opening without blocking: the sink opens its end when it starts.
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        try:
            while True:
                ready, _, _ = select.select([reader], [], [], 20)
                if not ready:
                    sys.exit("no sound within 20 s: " + " ".join(command))
                try:
                    if os.read(reader, 4096):
                        return time.perf_counter() - start
                except BlockingIOError:
                    pass
                if process.poll() is not None:
                    sys.exit("ended without sound: " + " ".join(command))
                time.sleep(0.001)  # the writer has not opened its end yet
        finally:
            os.close(reader)
    finally:
        process.kill()
        process.wait()
        os.unlink(fifo)


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ)
        env.update({"XDG_CONFIG_HOME": home + "/config", "XDG_DATA_HOME": home + "/data",
                    "XDG_CACHE_HOME": home + "/cache", "HOME": home, "MIRELUNE_LOG": "error",
                    "MIRELUNE_CONFIG": home + "/sandbox/config.json"})
        library = os.path.join(home, "library.xml")
        sandbox = subprocess.Popen(
            [MIRELUNE, "sandbox", "--port", "0", "--data", home + "/sandbox", "--write-config",
             home + "/sandbox/config.json", "--write-library", library, "--library-tracks", "100"],
            stdout=subprocess.PIPE, text=True, env=env)
        try:
            sandbox.stdout.readline()

            def run(*args, stdin=None):
                return subprocess.run([MIRELUNE, *args], input=stdin, check=True,
                                      capture_output=True, text=True, env=env).stdout

            run("signup", "bench", stdin="password\n")
            run("library", "use", library)
            run("analyse")
            run("recommend", "--until", "30")
            mix = json.loads(run("mix", "recommend", "--json"))
            preview = next((t["previewUrl"] for t in mix if t["source"] == "itunes"), None)
            if preview is None:
                sys.exit("no sandbox preview found in the mix")

            fifo = os.path.join(home, "sound")
            ours, peers = [], []
            for _ in range(runs):
                # Each run plays a started recommendation away: keep 30.
                run("recommend", "--until", "30")
                ours.append(first_byte(
                    [MIRELUNE, "play", "recommend", "--no-keys"], fifo + "-1",
                    dict(env, MIRELUNE_AUDIO_SINK="filesink buffer-mode=unbuffered location=%s-{n}"
                         % fifo)))
                peers.append(first_byte(
                    ["gst-launch-1.0", "-q", "playbin", "uri=" + preview,
                     "audio-sink=filesink buffer-mode=unbuffered location=" + fifo + "-1",
                     "video-sink=fakesink"], fifo + "-1", env))
        finally:
            sandbox.terminate()
            sandbox.wait()
    mine, peer = statistics.median(ours), statistics.median(peers)
    print("play recommend to first buffer: %.3f s (median of %d; goal under %.1f s)"
          % (mine, runs, GOAL))
    print("gst-launch-1.0 playbin, one preview: %.3f s" % peer)
    print("ratio: %.2f" % (mine / peer))


if __name__ == "__main__":
    main()
