#!/usr/bin/env python3
"""Processes sharing one profile, end to end on the sandbox: a `logout` made
while `analyse` works stays made; two `analyse` at once run one after the
other or not at all; `recommend` waits for its lock; settings writes that
fail (a full disk) and settings that cannot be read end the command with
the reason, and change nothing; corrupt settings are all kept.

  settings_test.py MIRELUNE
"""
import fcntl
import glob
import json
import os
import resource
import signal
import sqlite3
import subprocess
import sys
import tempfile


def library_xml(count):
    tracks = "".join(
        "<key>%d</key><dict><key>Track ID</key><integer>%d</integer>"
        "<key>Name</key><string>Song %d</string><key>Artist</key><string>Artist %d</string>"
        "<key>Album</key><string>Album</string><key>Play Count</key><integer>1</integer></dict>"
        % (i, i, i, i % 7) for i in range(count))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>'
            "<key>Major Version</key><integer>1</integer><key>Tracks</key><dict>%s</dict>"
            "<key>Playlists</key><array/></dict></plist>\n" % tracks)


def full_disk():
    # No file of the command can grow: every write fails with EFBIG, for
    # root too. Its standard streams are pipes, which the limit spares.
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (0, resource.getrlimit(resource.RLIMIT_FSIZE)[1]))


def main():
    mirelune = sys.argv[1]
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ)
        env.update({"XDG_CONFIG_HOME": home + "/config", "XDG_DATA_HOME": home + "/data",
                    "XDG_CACHE_HOME": home + "/cache", "MIRELUNE_CONFIG": home + "/sandbox/config.json",
                    "HOME": home, "MIRELUNE_LOG": "error"})
        settings_path = os.path.join(home, "config", "mirelune", "settings.json")
        # The upload answers late, so `analyse` is still at work when the
        # other commands run.
        sandbox = subprocess.Popen([mirelune, "sandbox", "--port", "0", "--data", home + "/sandbox",
                                    "--write-config", home + "/sandbox/config.json",
                                    "--latency-ms", "/user_track/=2500"],
                                   stdout=subprocess.PIPE, text=True, env=env)
        started = []
        try:
            assert sandbox.stdout.readline().startswith("http://127.0.0.1:")

            def run(*args, stdin=None, ok=True, fault=None):
                done = subprocess.run([mirelune, *args], input=stdin, capture_output=True, text=True,
                                      env=env, timeout=120, preexec_fn=fault)
                assert (done.returncode == 0) == ok, (args, done.returncode, done.stdout, done.stderr)
                return done

            def start(*args):
                process = subprocess.Popen([mirelune, *args], stdout=subprocess.PIPE,
                                           stderr=subprocess.PIPE, text=True, env=env)
                started.append(process)
                return process

            def read_until(stream, text):
                seen = []
                for line in stream:
                    seen.append(line)
                    if text in line:
                        return
                raise AssertionError("never printed %r: %r" % (text, seen))

            def settings():
                with open(settings_path) as f:
                    return json.load(f)

            run("signup", "listener", stdin="password\n")

            # The recommendation build has a lock of its own.
            lock_path = os.path.join(home, "data", "mirelune", "recommend-build.lock")
            os.makedirs(os.path.dirname(lock_path), exist_ok=True)
            with open(lock_path, "a") as held:
                fcntl.flock(held, fcntl.LOCK_EX)
                refused = run("recommend", ok=False)
                assert refused.returncode == 3, refused
                assert "The recommendation build is already running" in refused.stderr, refused.stderr
                waiting = start("recommend", "--wait")
                read_until(waiting.stderr, "waiting for the recommendation build")
            out, err = waiting.communicate(timeout=120)
            assert waiting.returncode == 0, (out, err)

            library = os.path.join(home, "library.xml")
            with open(library, "w") as f:
                f.write(library_xml(300))
            run("library", "use", library)

            # A full disk: nothing is changed, and each command says so.
            before = settings()
            other = os.path.join(home, "other.xml")
            with open(other, "w") as f:
                f.write(library_xml(1))
            failed = run("library", "use", other, ok=False, fault=full_disk)
            assert "library not changed" in failed.stderr and "library:" not in failed.stdout, failed
            failed = run("library", "reset", ok=False, fault=full_disk)
            assert "library not changed" in failed.stderr, failed.stderr
            failed = run("logout", ok=False, fault=full_disk)
            assert "still signed in" in failed.stderr and "signed out" not in failed.stdout, failed
            failed = run("login", "listener", stdin="password\n", ok=False, fault=full_disk)
            assert "log-in failed" in failed.stderr, failed.stderr
            assert settings() == before
            assert run("whoami").stdout.split()[1] == "listener"

            # Two checks at once: the second stops, a third waits its turn.
            first = start("analyse")
            read_until(first.stderr, "checked ")
            second = run("analyse", ok=False)
            assert second.returncode == 3, second
            assert "The song check is already running in another Mirelune process." in second.stderr
            third = start("analyse", "--wait")
            read_until(third.stderr, "waiting for the song check")
            out, err = first.communicate(timeout=120)
            assert first.returncode == 0, (out, err)
            assert out.strip().splitlines()[-1] == "checked 300, queued 300, uploaded 300", out
            out, err = third.communicate(timeout=120)
            assert third.returncode == 0, (out, err)
            assert out.strip().splitlines()[-1] == "checked 0, queued 0, uploaded 0", out
            db = sqlite3.connect(os.path.join(home, "sandbox", "sandbox.sqlite"))
            assert db.execute("SELECT count(*) FROM mr_user_tracks").fetchone()[0] == 300
            store = sqlite3.connect(os.path.join(home, "data", "mirelune", "mirelune.sqlite"))
            assert store.execute("SELECT count(*) FROM TrackRecommendationQueue").fetchone()[0] == 300

            # A log-out while a check works stays: the check's own writes
            # come later and must not bring the account back.
            with open(library, "w") as f:
                f.write(library_xml(320))
            working = start("analyse")
            read_until(working.stderr, "checked ")
            assert run("logout").stdout == "signed out\n"
            out, err = working.communicate(timeout=120)
            assert "not signed in" in run("whoami", ok=False).stderr
            stored = settings()
            assert stored.get("ovlo_ID", 0) == 0, stored.keys()
            assert not any(key.startswith("ovlo_access_token") for key in stored), stored.keys()
            assert stored["MRUserDefaultsKeyITunesMusicLibraryFilePath"] == library

            # Settings that cannot be read stay where they are, and nothing
            # writes over them.
            with open(settings_path) as f:
                good = f.read()
            os.remove(settings_path)
            os.symlink("/proc/self/mem", settings_path)  # every read fails with EIO
            failed = run("whoami", ok=False)
            assert "Input/output error" in failed.stderr, failed.stderr
            for args in (["logout"], ["library", "use", other], ["analyse"]):
                failed = run(*args, ok=False)
                assert "Input/output error" in failed.stderr, (args, failed.stderr)
            assert os.path.islink(settings_path)
            assert not glob.glob(settings_path + ".corrupt*")

            # Settings that do not parse are kept aside, each under its own name.
            os.remove(settings_path)
            for bad in ("{not json", "[]"):
                with open(settings_path, "w") as f:
                    f.write(bad)
                assert "not signed in" in run("whoami", ok=False).stderr
                assert not os.path.exists(settings_path)
            kept = sorted(open(name).read() for name in glob.glob(settings_path + ".corrupt-*"))
            assert kept == ["[]", "{not json"], kept
            with open(settings_path, "w") as f:
                f.write(good)
            run("library", "use", other)
            assert settings()["MRUserDefaultsKeyITunesMusicLibraryFilePath"] == other
        finally:
            for process in started:
                if process.poll() is None:
                    process.kill()
                    process.wait()
            sandbox.terminate()
            sandbox.wait()
    print("settings shared by processes: ok")


if __name__ == "__main__":
    main()
