"""What the browser tests share: the window of a test profile served by
`mirelune ui --no-window`, and Playwright scripts driven against it.

    with clitest.World(mirelune) as world:
        browsertest.drive(world, mirelune, ["ui_e2e.mjs", browsertest.ADDRESS])
"""
import os
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
# Stands for the served address in a script's arguments.
ADDRESS = object()


def drive(world, mirelune, *scripts):
    """Serves the profile's window and runs each script (node and its
    arguments) against it; every one must succeed, and the server must end
    cleanly."""
    opened = os.path.join(world.home, "opened-urls.txt")
    # A null sink that keeps time, so a track stays current while looked at.
    env = dict(world.env, MIRELUNE_AUDIO_SINK="fakesink sync=true",
               MIRELUNE_OPEN_URL_LOG=opened, LANGUAGE="en", LANG="C.UTF-8")
    ui = subprocess.Popen([mirelune, "ui", "--no-window"], stdout=subprocess.PIPE, text=True,
                          env=env)
    try:
        address = ui.stdout.readline().strip()
        assert address.startswith("http://127.0.0.1:"), address
        node_env = dict(env, PATH=os.environ["PATH"], MIRELUNE_BIN=mirelune)
        for script in scripts:
            args = [address if arg is ADDRESS else arg for arg in script]
            done = subprocess.run(["node", *args], env=node_env, cwd=HERE, timeout=600)
            assert done.returncode == 0, "%s failed" % args[0]
    finally:
        ui.terminate()
        assert ui.wait(timeout=30) == 0, "the window's server did not end cleanly"
