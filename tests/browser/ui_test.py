#!/usr/bin/env python3
"""The window's pages in headless Chromium against the sandbox: a profile
that is signed in with 30 recommendations, `mirelune ui --no-window`
serving it, and a Playwright script driving the page as a listener would.
Screenshots of every screen, light and dark, go to SHOTS.

  ui_test.py MIRELUNE SHOTS
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "cli"))
import clitest  # noqa: E402


def main():
    mirelune, shots = sys.argv[1], sys.argv[2]
    here = os.path.dirname(os.path.abspath(__file__))
    os.makedirs(shots, exist_ok=True)
    with clitest.World(mirelune, library_tracks=40) as world:
        world.run("signup", "listener", stdin="password\n")
        world.run("library", "use", world.library)
        world.run("analyse")
        world.run("recommend", "--until", "30")
        world.run("releases", "--check")
        opened = os.path.join(world.home, "opened-urls.txt")
        # A null sink that keeps time, so a track stays current while looked at.
        env = dict(world.env, MIRELUNE_AUDIO_SINK="fakesink sync=true",
                   MIRELUNE_OPEN_URL_LOG=opened, LANGUAGE="en", LANG="C.UTF-8")
        ui = subprocess.Popen([mirelune, "ui", "--no-window"], stdout=subprocess.PIPE,
                              text=True, env=env)
        try:
            address = ui.stdout.readline().strip()
            assert address.startswith("http://127.0.0.1:"), address
            node_env = dict(world.env, PATH=os.environ["PATH"], MIRELUNE_BIN=mirelune)
            done = subprocess.run(["node", "ui_e2e.mjs", address], env=node_env, cwd=here,
                                  timeout=600)
            assert done.returncode == 0, "the browser test failed"
            done = subprocess.run(["node", "screens.mjs", shots, address], env=node_env, cwd=here,
                                  timeout=600)
            assert done.returncode == 0, "some screens could not be taken"
        finally:
            ui.terminate()
            assert ui.wait(timeout=30) == 0, "the window's server did not end cleanly"


if __name__ == "__main__":
    main()
