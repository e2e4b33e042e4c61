#!/usr/bin/env python3
"""The terminal player on the sandbox, without keys, to a null sink: each
mix plays to its end and says so; what played comes back as the history;
an empty mix says why and fails; Ctrl-C stops at once and keeps what played.

  play_test.py MIRELUNE
"""
import plistlib
import signal
import subprocess
import sys

import clitest

SINK = {"MIRELUNE_AUDIO_SINK": "fakesink sync=false"}


def play(world, *args, ok=True):
    done = world.run("play", *args, "--no-keys", env=SINK, ok=ok, timeout=180)
    return done.stdout.splitlines(), done


def played(lines):
    return [line[len("playing: "):] for line in lines if line.startswith("playing: ")]


def titles(tracks):
    """Artist and title, without the source a track was found on this time."""
    return {track.rsplit(" (", 1)[0] for track in tracks}


def main():
    with clitest.World(sys.argv[1], library_tracks=40) as world:
        world.run("signup", "listener", stdin="password\n")
        world.run("library", "use", world.library)
        world.run("analyse")
        world.run("recommend", "--until", "30")

        _, empty = play(world, "history", ok=False)
        assert "nothing played yet" in empty.stderr, empty.stderr
        _, none = play(world, "favorites", ok=False)
        assert "no favorites yet" in none.stderr, none.stderr

        lines, _ = play(world, "recommend")
        tracks = played(lines)
        assert tracks and lines[-1] == "done: %d tracks played" % len(tracks), lines
        # Every track says where it comes from; each located one was named.
        assert all(t.endswith((" (itunes)", " (video)", " (cache)")) for t in tracks), tracks
        assert not any(line.startswith("locating  - ") for line in lines), lines

        # Played at full speed, tracks found late may land before the one
        # playing and be passed over; what plays is what played before.
        history, _ = play(world, "history")
        assert played(history) and titles(played(history)) <= titles(tracks), (history, tracks)

        library = plistlib.load(open(world.library, "rb"))
        track = next(iter(library["Tracks"].values()))
        lines, _ = play(world, "artist", track["Artist"])
        assert played(lines) and all(t.startswith(track["Artist"] + " - ") for t in played(lines))
        lines, _ = play(world, "similar", track["Artist"], track["Name"])
        assert len(played(lines)) > 1, lines

        lines, _ = play(world, "artist", "Nobody Anyone Has Heard Of", ok=False)
        assert lines[-1] == "nothing to play", lines
        lines, _ = play(world, "release", "540000001")
        assert played(lines) and lines[-1].startswith("done: "), lines

        # In real time, stopped by Ctrl-C while the first track plays.
        before = len(world.history())
        player = subprocess.Popen([world.mirelune, "play", "recommend", "--no-keys"],
                                  stdout=subprocess.PIPE, text=True,
                                  env=dict(world.env, MIRELUNE_AUDIO_SINK="fakesink sync=true"))
        for line in player.stdout:
            if line.startswith("status: playing"):
                player.send_signal(signal.SIGINT)
                break
        player.stdout.read()
        assert player.wait(timeout=60) in (0, 130), player.returncode
        assert len(world.history()) == before + 1, world.history()
    print("play: ok")


if __name__ == "__main__":
    main()
