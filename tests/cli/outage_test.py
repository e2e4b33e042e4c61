#!/usr/bin/env python3
"""Recommendation through a Last.fm outage, on the sandbox. With a third of
Last.fm's answers failing, `recommend --until 30` still reaches 30, every
seed Last.fm answered is used up and every seed it never answered is still
stored. With Last.fm down the build gives up soon, says so, exits non-zero
and keeps the seeds.

  outage_test.py MIRELUNE
"""
import sqlite3
import sys

import clitest


def similar_requests(world):
    """(title, artist) -> whether Last.fm answered any track.getSimilar for it."""
    answered = {}
    for request in world.answered_requests():
        parameters = request["parameters"]
        if request["path"] == "/2.0/" and parameters.get("method") == "track.getSimilar":
            key = (parameters["track"], parameters["artist"])
            answered[key] = answered.get(key, False) or request["status"] == 200
    return answered


def main():
    mirelune = sys.argv[1]
    with clitest.World(mirelune, library_tracks=200, request_log=True,
                       sandbox_args=["--fail-rate", "/2.0/=0.33"]) as world:
        world.run("signup", "listener", stdin="password\n")
        world.run("library", "use", world.library)
        world.run("analyse")
        db = sqlite3.connect(world.store_path)
        # A few seeds give 30; ask for more until the outage has hit one.
        for until in (30, 60, 90, 120):
            world.run("recommend", "--until", str(until))
            assert db.execute("SELECT count(*) FROM RecommendTrack").fetchone()[0] >= until
            asked = similar_requests(world)
            if not all(asked.values()):
                break
        assert not all(asked.values()), "the outage hit no seed"
        waiting = {(t, a) for t, a in db.execute("SELECT title, artist FROM TrackRecommendationQueue")}
        for seed, ok in asked.items():
            assert (seed in waiting) != ok, (seed, ok)

    with clitest.World(mirelune, library_tracks=50, sandbox_args=["--fail-rate", "/2.0/=1"]) as world:
        world.run("signup", "listener", stdin="password\n")
        world.run("library", "use", world.library)
        world.run("analyse")
        done = world.run("recommend", "--until", "5", ok=False)
        assert "Last.fm is not answering" in done.stderr, done.stderr
        db = sqlite3.connect(world.store_path)
        assert db.execute("SELECT count(*) FROM TrackRecommendationQueue").fetchone()[0] == 50
    print("ok")


if __name__ == "__main__":
    main()
