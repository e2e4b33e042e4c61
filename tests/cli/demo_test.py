#!/usr/bin/env python3
"""`mirelune demo --headless` in a fresh profile: every step reports, and the
store holds what the steps made (recommendations, the history of what
played, a cached M4A that decodes, new releases). A step that fails stops
the demo with its name and a non-zero exit.

  demo_test.py MIRELUNE
"""
import os
import re
import sqlite3
import subprocess
import sys
import tempfile

STEPS = ["sandbox", "sign up", "library", "first analysis", "recommendations", "window", "play",
         "favorite", "new releases"]


def demo(mirelune, profile, home):
    env = {k: v for k, v in os.environ.items() if not k.startswith("MIRELUNE_")}
    env.update({"HOME": home, "MIRELUNE_AUDIO_SINK": "fakesink sync=false",
                # The demo's own profile wins over whatever the caller has.
                "XDG_CONFIG_HOME": home + "/elsewhere", "MIRELUNE_CONFIG": home + "/nothing.json"})
    return subprocess.run([mirelune, "demo", "--headless", "--profile", profile],
                          capture_output=True, text=True, env=env, timeout=400)


def main():
    mirelune = sys.argv[1]
    with tempfile.TemporaryDirectory() as home:
        profile = os.path.join(home, "profile")
        done = demo(mirelune, profile, home)
        assert done.returncode == 0, (done.stdout, done.stderr)
        report = done.stdout.splitlines()
        for number, step in enumerate(STEPS, 1):
            line = next((l for l in report if re.match(r"\s*%d\s+%s\s" % (number, step), l)), None)
            assert line and re.search(r"\d+\.\d s", line) and "FAILED" not in line, (step, report)
        assert re.match(r"done in \d+\.\d s", report[-1]), report
        assert any("30 in all" in l for l in report), report
        assert any("skipped (--headless)" in l for l in report), report
        assert any("cross-faded into" in l for l in report), report

        store = os.path.join(profile, "data", "mirelune", "mirelune.sqlite")
        with sqlite3.connect(store) as db:
            # Each track that started left the recommendations.
            recommended = db.execute("SELECT COUNT(*) FROM RecommendTrack").fetchone()[0]
            played = db.execute("SELECT COUNT(*) FROM PlayHistoryTrack").fetchone()[0]
            favorites = db.execute("SELECT COUNT(*) FROM FavoriteTrack").fetchone()[0]
            releases = db.execute("SELECT COUNT(*) FROM NewRelease").fetchone()[0]
        assert played >= 2 and recommended >= 30 - played, (played, recommended)
        assert favorites == 1 and releases > 0, (favorites, releases)
        cache = os.path.join(profile, "cache", "mirelune", "FavoriteTrack")
        m4a = [f for f in os.listdir(cache) if f.endswith(".m4a")]
        assert len(m4a) == 1, os.listdir(cache)
        decoded = subprocess.run(["ffmpeg", "-v", "error", "-i", os.path.join(cache, m4a[0]),
                                  "-f", "null", "-"], capture_output=True, text=True)
        assert decoded.returncode == 0 and not decoded.stderr, decoded.stderr
        assert not os.path.exists(os.path.join(home, "elsewhere")), "the caller's profile was used"

        # The settings folder cannot be made: signing up fails, and says so.
        broken = os.path.join(home, "broken")
        os.makedirs(broken)
        open(os.path.join(broken, "config"), "w").close()
        failed = demo(mirelune, broken, home)
        assert failed.returncode != 0, failed.stdout
        assert 'step 2, "sign up"' in failed.stderr, failed.stderr
        assert "FAILED" in failed.stdout and "done in" not in failed.stdout, failed.stdout
        # Nothing is left running: the sandbox of the failed demo was ended.
        assert subprocess.run(["pgrep", "-f", "--data " + broken], capture_output=True).returncode


if __name__ == "__main__":
    main()
