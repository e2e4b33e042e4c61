#!/usr/bin/env python3
"""Recommendation end to end on the sandbox: a library of 300 catalogue
tracks, `analyse`, `recommend`, a ban, more `recommend`, then `genres` and
`mix recommend`. What is stored must be playable, tagged, new to the
listener and never by the banned artist.

  recommend_test.py MIRELUNE
"""
import json
import os
import plistlib
import sqlite3
import subprocess
import sys
import tempfile
import urllib.request


def hashed(text):
    return "".join(text.lower().split())


def fetch(url, first_bytes=16):
    request = urllib.request.Request(url, headers={"Range": "bytes=0-%d" % (first_bytes - 1)})
    with urllib.request.urlopen(request, timeout=30) as answer:
        assert answer.status in (200, 206), (url, answer.status)
        return answer.read()


def main():
    mirelune = sys.argv[1]
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ)
        env.update({"XDG_CONFIG_HOME": home + "/config", "XDG_DATA_HOME": home + "/data",
                    "XDG_CACHE_HOME": home + "/cache", "MIRELUNE_CONFIG": home + "/sandbox/config.json",
                    "HOME": home, "MIRELUNE_LOG": "error"})
        library = os.path.join(home, "library.xml")
        sandbox = subprocess.Popen([mirelune, "sandbox", "--port", "0", "--data", home + "/sandbox",
                                    "--write-config", home + "/sandbox/config.json",
                                    "--write-library", library, "--library-tracks", "300"],
                                   stdout=subprocess.PIPE, text=True, env=env)
        try:
            assert sandbox.stdout.readline().startswith("http://127.0.0.1:")

            def run(*args, stdin=None, ok=True):
                done = subprocess.run([mirelune, *args], input=stdin, capture_output=True, text=True, env=env,
                                      timeout=240)
                assert (done.returncode == 0) == ok, (args, done.returncode, done.stdout, done.stderr)
                return done

            run("signup", "listener", stdin="password\n")
            run("library", "use", library)
            assert run("analyse").stdout.strip().splitlines()[-1].startswith("checked 300, queued 300")

            run("recommend", "--until", "10")
            db = sqlite3.connect(os.path.join(home, "data", "mirelune", "mirelune.sqlite"))
            banned = db.execute("SELECT a.name FROM RecommendTrack r JOIN Artist a ON r.artist = a.id "
                                "GROUP BY a.id ORDER BY count(*) DESC LIMIT 1").fetchone()[0]
            assert banned in run("ban", banned).stdout
            assert db.execute("SELECT count(*) FROM RecommendTrack r JOIN Artist a ON r.artist = a.id "
                              "WHERE a.name = ?", (banned,)).fetchone()[0] == 0

            run("recommend", "--until", "30")
            rows = db.execute("SELECT r.id, r.title, a.name, a.id FROM RecommendTrack r "
                              "JOIN Artist a ON r.artist = a.id").fetchall()
            assert len(rows) >= 30, len(rows)

            with open(library, "rb") as f:
                owned = {(hashed(t.get("Name", "")), hashed(t.get("Artist", "")))
                         for t in plistlib.load(f)["Tracks"].values()}
            played = {(hashed(t), hashed(a)) for t, a in db.execute("SELECT title, artist FROM PlayHistoryTrack")}
            tags_of_recommended = set()
            for track_id, title, artist, artist_id in rows:
                assert artist != banned, (title, artist)
                assert (hashed(title), hashed(artist)) not in owned | played, (title, artist)
                tags = [t for (t,) in db.execute("SELECT tag FROM GenreTag WHERE artist = ?", (artist_id,))]
                assert tags, ("no tags", artist)
                tags_of_recommended.update(tags)
                sources = db.execute("SELECT sourceID, previewUrl, additionalInfo FROM PreviewDataSource "
                                     "WHERE recommendTrack = ?", (track_id,)).fetchall()
                playable = False
                for source_id, url, info in sources:
                    if source_id == 10 and url:
                        playable = playable or len(fetch(url)) > 0
                    elif source_id == 20:
                        page = urllib.request.urlopen(json.loads(info)["link"], timeout=30).read()
                        playable = playable or b"PIGGYBACK_DATA" in page
                assert playable, (title, artist, sources)

            genres = json.loads(run("genres", "--json").stdout)
            assert genres and {g["tag"] for g in genres} <= tags_of_recommended, genres
            assert all(g["artist"] and g["title"] for g in genres), genres

            mix = json.loads(run("mix", "recommend", "--json").stdout)
            assert mix, "an empty mix"
            for track in mix:
                assert track["source"] in ("itunes", "video"), track
                assert len(fetch(track["previewUrl"])) > 0, track

            tag = genres[0]["tag"]
            tagged = json.loads(run("mix", "recommend", "--genre", tag, "--json").stdout)
            assert tagged, tag
        finally:
            sandbox.terminate()
            sandbox.wait()
    print("recommend end to end: ok")


if __name__ == "__main__":
    main()
