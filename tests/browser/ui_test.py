#!/usr/bin/env python3
"""The window's pages in headless Chromium against the sandbox: a profile
that is signed in with 30 recommendations, `mirelune ui --no-window`
serving it, and a Playwright script driving the page as a listener would.
Screenshots of every screen, light and dark, go to SHOTS.

  ui_test.py MIRELUNE SHOTS
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
        world.run("signup", "listener", stdin="password\n")
        world.run("library", "use", world.library)
        world.run("analyse")
        world.run("recommend", "--until", "30")
        world.run("releases", "--check")
        browsertest.drive(world, mirelune, ["ui_e2e.mjs", browsertest.ADDRESS],
                          ["screens.mjs", shots, browsertest.ADDRESS])


if __name__ == "__main__":
    main()
