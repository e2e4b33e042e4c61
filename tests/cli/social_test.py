#!/usr/bin/env python3
"""releases, comment and today on the sandbox: the library's artists are
looked up once a day and their albums stored once; comments are trimmed,
shared only on linked accounts, and refused with a reason; today's three
artists stay the same until forced.

  social_test.py MIRELUNE
"""
import json
import sqlite3
import sys
import time

import clitest


def main():
    with clitest.World(sys.argv[1], library_tracks=20) as world:
        world.run("signup", "listener", stdin="password\n")
        world.run("library", "use", world.library)

        empty = world.run("releases")
        assert empty.stdout == "" and "releases --check" in empty.stderr, empty

        checked = world.run("releases", "--check", "--json")
        releases = json.loads(checked.stdout)
        assert releases, checked
        assert all(r["collectionId"] > 0 and r["title"] and r["artist"] for r in releases), releases
        dates = [r["releaseDate"] for r in releases if r["releaseDate"]]
        assert dates == sorted(dates, reverse=True), dates
        assert "looked up 0 artists" not in checked.stderr, checked.stderr
        again = world.run("releases", "--check", "--json")
        assert "looked up 0 artists" in again.stderr, again.stderr
        assert json.loads(again.stdout) == releases
        listed = world.run("releases").stdout.splitlines()
        assert len(listed) == len(releases), listed

        artist, title = releases[0]["artist"], "Any Song"
        sandbox_db = world.home + "/sandbox/sandbox.sqlite"

        done = world.run("comment", artist, title, "  \n Lovely record \n ")
        lines = done.stdout.splitlines()
        assert lines[0] == "commented on %s - %s" % (artist, title), lines
        assert lines[-1].startswith("store page: http"), lines
        with sqlite3.connect(sandbox_db) as db:
            assert db.execute("SELECT comment FROM mr_comments").fetchall() == [("Lovely record",)]

        only_track = world.run("comment", artist, title, " \n ")
        assert only_track.stdout.startswith("registered "), only_track.stdout

        unlinked = world.run("comment", artist, title, "Hi", "--share", "twitter", ok=False)
        assert "no twitter account is linked" in unlinked.stderr, unlinked.stderr
        unknown = world.run("comment", artist, title, "Hi", "--share", "myspace", ok=False)
        assert "only facebook and twitter" in unknown.stderr, unknown.stderr

        # Linked in the browser, then the oauth-complete URL brings the list.
        with sqlite3.connect(sandbox_db) as db:
            aid = db.execute("SELECT aid FROM ovlo_accounts WHERE name = 'listener'").fetchone()[0]
            cid = db.execute("INSERT INTO ovlo_connections (aid, service, name, external_id, "
                             "created_at) VALUES (?, 'twitter', 'me', 'tw-1', ?)",
                             (aid, int(time.time()))).lastrowid
        world.run("url", "mirelune://oauth-complete")
        shared = world.run("comment", artist, title, "Shared", "--share", "twitter")
        assert "shared on twitter" in shared.stdout.splitlines(), shared.stdout
        with sqlite3.connect(sandbox_db) as db:
            assert db.execute("SELECT cid FROM mr_shares").fetchall() == [(cid,)]
        facebook = world.run("comment", artist, title, "Hi", "--share", "facebook,twitter", ok=False)
        assert "no facebook account is linked" in facebook.stderr, facebook.stderr

        nobody = world.run("today", ok=False)
        assert "no recommended artists yet" in nobody.stderr, nobody.stderr
        world.run("analyse")
        world.run("recommend", "--until", "10")
        first = json.loads(world.run("today", "--json").stdout)
        assert first["chosenNow"] and len(first["artists"]) == 3, first
        second = json.loads(world.run("today", "--json").stdout)
        assert not second["chosenNow"] and second["artists"] == first["artists"], second
        forced = json.loads(world.run("today", "--force", "--json").stdout)
        assert forced["chosenNow"] and len(forced["artists"]) == 3, forced
        plain = world.run("today").stdout.splitlines()
        assert plain == [a["name"] for a in forced["artists"]], plain
    print("social: ok")


if __name__ == "__main__":
    main()
