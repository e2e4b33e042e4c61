#!/usr/bin/env python3
"""The command line end to end: the sandbox up, a generated library, `analyse`
run twice. The sandbox must hold each track once, as a five-member line; the
second run uploads nothing; an unreadable library fails with its message.

  analyse_test.py MIRELUNE
"""
import json
import os
import sqlite3
import subprocess
import sys
import tempfile


def library_xml(count):
    tracks = "".join(
        "<key>%d</key><dict><key>Track ID</key><integer>%d</integer>"
        "<key>Name</key><string>Song %d</string><key>Artist</key><string>Artist %d</string>"
        "<key>Album</key><string>Album</string><key>Play Count</key><integer>%d</integer>"
        "<key>Date Added</key><date>2020-01-02T03:04:05Z</date></dict>" % (i, i, i, i % 7, i % 5)
        for i in range(count))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>'
            "<key>Major Version</key><integer>1</integer><key>Tracks</key><dict>%s</dict>"
            "<key>Playlists</key><array/></dict></plist>\n" % tracks)


def main():
    mirelune = sys.argv[1]
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ)
        env.update({"XDG_CONFIG_HOME": home + "/config", "XDG_DATA_HOME": home + "/data",
                    "XDG_CACHE_HOME": home + "/cache", "MIRELUNE_CONFIG": home + "/sandbox/config.json",
                    "HOME": home, "MIRELUNE_LOG": "error"})
        sandbox = subprocess.Popen([mirelune, "sandbox", "--port", "0", "--data", home + "/sandbox",
                                    "--write-config", home + "/sandbox/config.json"],
                                   stdout=subprocess.PIPE, text=True, env=env)
        try:
            assert sandbox.stdout.readline().startswith("http://127.0.0.1:")

            def run(*args, stdin=None, ok=True):
                done = subprocess.run([mirelune, *args], input=stdin, capture_output=True, text=True, env=env)
                assert (done.returncode == 0) == ok, (args, done.returncode, done.stdout, done.stderr)
                return done

            run("signup", "listener", stdin="password\n")
            assert run("whoami").stdout.split()[1] == "listener"

            library = os.path.join(home, "library.xml")
            with open(library, "w") as f:
                f.write(library_xml(300))
            run("library", "use", library)
            scan = json.loads(run("library", "scan", "--json").stdout)
            assert scan["tracks"] == 300 and scan["artists"] == 7 and scan["distinctTrackHashes"] == 300, scan

            first = run("analyse").stdout.strip().splitlines()[-1]
            assert first == "checked 300, queued 300, uploaded 300", first
            second = run("analyse").stdout.strip().splitlines()[-1]
            assert second == "checked 0, queued 0, uploaded 0", second

            db = sqlite3.connect(os.path.join(home, "sandbox", "sandbox.sqlite"))
            lines = [row[0] for row in db.execute("SELECT line FROM mr_user_tracks")]
            assert len(lines) == 300, len(lines)
            titles = set()
            for line in lines:
                member = json.loads(line)
                assert sorted(member) == ["albumTitle", "artistName", "iTunes", "playCount", "trackTitle"], member
                assert len(member["iTunes"]) == 23
                titles.add(member["trackTitle"])
            assert len(titles) == 300

            with open(library, "w") as f:
                f.write("<plist><array/></plist>")
            failed = run("analyse", ok=False)
            assert "Failed to load music library." in failed.stderr and library in failed.stderr, failed.stderr
        finally:
            sandbox.terminate()
            sandbox.wait()
    print("analyse end to end: ok")


if __name__ == "__main__":
    main()
