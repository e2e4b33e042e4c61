#!/usr/bin/env python3
"""The command line end to end: the sandbox up, a generated library, `analyse`
run twice. The sandbox must hold each track once, as a five-member line; the
second run uploads nothing; an upload the service refuses fails the command
and is sent by the next run; an unreadable library (a FIFO too) fails with
its message; no upload file is left behind.

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
        def start_sandbox(*faults):
            sandbox = subprocess.Popen([mirelune, "sandbox", "--port", "0", "--data", home + "/sandbox",
                                        "--write-config", home + "/sandbox/config.json", *faults],
                                       stdout=subprocess.PIPE, text=True, env=env)
            assert sandbox.stdout.readline().startswith("http://127.0.0.1:")
            return sandbox

        def stop_sandbox(sandbox):
            sandbox.terminate()
            sandbox.wait()

        def run(*args, stdin=None, ok=True):
            # A command that waits for ever (on a FIFO, say) fails here rather than hanging.
            done = subprocess.run([mirelune, *args], input=stdin, capture_output=True, text=True, env=env,
                                  timeout=60)
            assert (done.returncode == 0) == ok, (args, done.returncode, done.stdout, done.stderr)
            return done

        def upload_files():
            cache = os.path.join(home, "cache", "mirelune")
            return [name for name in os.listdir(cache) if name.startswith("upload")] if os.path.isdir(cache) else []

        sandbox = start_sandbox()
        try:

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

            assert upload_files() == [], upload_files()

            # The service refuses the upload: the command says so and fails, and
            # the next run sends the new tracks again.
            with open(library, "w") as f:
                f.write(library_xml(320))
            stop_sandbox(sandbox)
            sandbox = start_sandbox("--fail-rate", "/user_track/=1")
            refused = run("analyse", ok=False)
            assert refused.stdout.strip().splitlines()[-1] == "checked 320, queued 20, uploaded 0", refused.stdout
            assert "the new tracks were not uploaded" in refused.stderr, refused.stderr
            stop_sandbox(sandbox)
            sandbox = start_sandbox()
            again = run("analyse").stdout.strip().splitlines()[-1]
            assert again == "checked 320, queued 0, uploaded 20", again
            assert upload_files() == [], upload_files()

            with open(library, "w") as f:
                f.write("<plist><array/></plist>")
            failed = run("analyse", ok=False)
            assert "Failed to load music library." in failed.stderr and library in failed.stderr, failed.stderr

            # A FIFO nobody writes to is refused at once, not waited on.
            fifo = os.path.join(home, "fifo.xml")
            os.mkfifo(fifo)
            run("library", "use", fifo)
            for command in (["library", "scan"], ["analyse"]):
                failed = run(*command, ok=False)
                assert "Failed to load music library." in failed.stderr and "FIFO" in failed.stderr, failed.stderr
        finally:
            stop_sandbox(sandbox)
    print("analyse end to end: ok")


if __name__ == "__main__":
    main()
