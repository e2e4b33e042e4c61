#!/usr/bin/env python3
"""The flows around the main window in headless Chromium against the
sandbox: a profile with a music library and nobody signed in, `mirelune ui
--no-window` serving it, and a Playwright script going from the welcome
screen to the home page, through the profile, the artist lists and the
comment form, a URL event and log-out. Screenshots go to SHOTS.

  flows_test.py MIRELUNE SHOTS
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
        world.run("library", "use", world.library)
        opened = os.path.join(world.home, "opened-urls.txt")
        env = dict(world.env, MIRELUNE_AUDIO_SINK="fakesink sync=true",
                   MIRELUNE_OPEN_URL_LOG=opened, LANGUAGE="en", LANG="C.UTF-8")
        ui = subprocess.Popen([mirelune, "ui", "--no-window"], stdout=subprocess.PIPE,
                              text=True, env=env)
        try:
            address = ui.stdout.readline().strip()
            assert address.startswith("http://127.0.0.1:"), address
            node_env = dict(env, PATH=os.environ["PATH"], MIRELUNE_BIN=mirelune)
            done = subprocess.run(["node", "flows_e2e.mjs", address, shots], env=node_env,
                                  cwd=here, timeout=600)
            assert done.returncode == 0, "the browser test failed"
        finally:
            ui.terminate()
            assert ui.wait(timeout=30) == 0, "the window's server did not end cleanly"


if __name__ == "__main__":
    main()
