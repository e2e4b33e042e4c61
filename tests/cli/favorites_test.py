#!/usr/bin/env python3
"""Favorites on the sandbox: a track made a favorite is listed, cached with a
progress report, and then plays from the cache with the sandbox gone;
uncaching and removing leave the rest alone.

  favorites_test.py MIRELUNE
"""
import json
import os
import plistlib
import sys

import clitest

SINK = {"MIRELUNE_AUDIO_SINK": "fakesink sync=false"}


def listed(world):
    return json.loads(world.run("favorite", "list", "--json").stdout)


def main():
    with clitest.World(sys.argv[1], library_tracks=20) as world:
        world.run("signup", "listener", stdin="password\n")
        world.run("favorite", "list")
        assert listed(world) == []
        missing = world.run("favorite", "cache", "Nobody", "Nothing", ok=False)
        assert "is not a favorite" in missing.stderr, missing.stderr

        # The first library track that has a preview somewhere.
        library = plistlib.load(open(world.library, "rb"))
        chosen = None
        for track in library["Tracks"].values():
            added = world.run("favorite", "add", track["Artist"], track["Name"], ok=None)
            if added.returncode == 0:
                chosen = (track["Artist"], track["Name"])
                break
            assert "no preview" in added.stderr, added.stderr
        assert chosen, "no library track could be made a favorite"
        name = "%s - %s" % chosen
        assert "added: " + name in added.stdout, added.stdout
        again = world.run("favorite", "add", *chosen)
        assert "already a favorite" in again.stdout, again.stdout
        favorites = listed(world)
        assert [(f["artist"], f["title"], f["cached"]) for f in favorites] == [chosen + (False,)]

        cached = world.run("favorite", "cache", *chosen)
        assert "cached: " + name in cached.stdout, (cached.stdout, cached.stderr)
        assert "downloading" in cached.stderr, cached.stderr
        assert listed(world)[0]["cached"] is True
        folder = os.path.join(world.profile, "cache", "mirelune", "FavoriteTrack")
        files = os.listdir(folder)
        assert len(files) == 1 and files[0].startswith(favorites[0]["itemHash"] + "-audio."), files
        # The sandbox's favorite plays from a video: its sound track was
        # extracted to an M4A readable by all and the video let go.
        assert "extracting" in cached.stderr, cached.stderr
        assert files[0].endswith("-audio.m4a"), files
        m4a = os.path.join(folder, files[0])
        assert os.stat(m4a).st_mode & 0o777 == 0o644, oct(os.stat(m4a).st_mode)
        with open(m4a, "rb") as f:
            data = f.read()
        assert data[4:8] == b"ftyp" and b"mp4a" in data, "not AAC in M4A"

        # Offline: the favorite plays from its cached file.
        world.sandbox.terminate()
        world.sandbox.wait(timeout=30)
        done = world.run("play", "favorites", "--no-keys", env=SINK, timeout=180)
        lines = done.stdout.splitlines()
        assert "playing: %s (cache)" % name in lines, lines

        world.run("favorite", "uncache", *chosen)
        assert os.listdir(folder) == [] and listed(world)[0]["cached"] is False
        removed = world.run("favorite", "remove", *chosen)
        assert "removed: " + name in removed.stdout, removed.stdout
        assert listed(world) == []
    print("favorites: ok")


if __name__ == "__main__":
    main()
