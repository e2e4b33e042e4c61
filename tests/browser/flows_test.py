#!/usr/bin/env python3
"""The flows around the main window in headless Chromium against the
sandbox: a profile with a music library and nobody signed in, `mirelune ui
--no-window` serving it, and a Playwright script going from the welcome
screen to the home page, through the profile, the artist lists and the
comment form, a URL event and log-out. Screenshots go to SHOTS.

  flows_test.py MIRELUNE SHOTS
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "cli"))
import browsertest  # noqa: E402
import clitest  # noqa: E402


def main():
    mirelune, shots = sys.argv[1], sys.argv[2]
    os.makedirs(shots, exist_ok=True)
    with clitest.World(mirelune, library_tracks=40) as world:
        world.run("library", "use", world.library)
        browsertest.drive(world, mirelune, ["flows_e2e.mjs", browsertest.ADDRESS, shots])


if __name__ == "__main__":
    main()
