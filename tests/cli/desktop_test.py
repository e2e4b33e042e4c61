#!/usr/bin/env python3
"""install-desktop and uninstall-desktop: the entry lists the program and
makes it the handler of mirelune: URLs without losing the listener's other
default applications; a URL alone on the command line is handled as `url`;
with the window's program running, a URL is handed to it.

  desktop_test.py MIRELUNE
"""
import configparser
import os
import subprocess
import sys

import clitest


def main():
    with clitest.World(sys.argv[1]) as world:
        env = dict(world.env, XDG_DATA_HOME=world.home + "/share")
        config = env["XDG_CONFIG_HOME"]
        os.makedirs(config, exist_ok=True)
        mimeapps = os.path.join(config, "mimeapps.list")
        with open(mimeapps, "w") as f:
            f.write("[Default Applications]\ntext/html=firefox.desktop\n")

        world.run("install-desktop", env=env)
        entry_path = os.path.join(world.home, "share", "applications", "mirelune.desktop")
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(entry_path)
        desktop = entry["Desktop Entry"]
        assert desktop["Exec"] == '"%s" %%u' % os.path.realpath(world.mirelune), desktop["Exec"]
        assert "x-scheme-handler/mirelune;" in desktop["MimeType"]
        assert os.path.exists(os.path.join(world.home, "share", "icons", "hicolor", "scalable",
                                           "apps", "mirelune.svg"))
        validate = subprocess.run(["which", "desktop-file-validate"], capture_output=True)
        if validate.returncode == 0:
            checked = subprocess.run(["desktop-file-validate", entry_path], capture_output=True,
                                     text=True)
            assert checked.returncode == 0, checked.stdout + checked.stderr
        text = open(mimeapps).read()
        assert "text/html=firefox.desktop" in text, text
        assert "x-scheme-handler/mirelune=mirelune.desktop" in text, text

        # The desktop hands a URL alone; with nobody signed in the refresh fails, as it says.
        done = world.run("mirelune://somewhere-else", env=env, ok=False)
        assert "no handler for mirelune://somewhere-else" in done.stderr, done.stderr

        world.run("uninstall-desktop", env=env)
        assert not os.path.exists(entry_path)
        text = open(mimeapps).read()
        assert "text/html=firefox.desktop" in text and "mirelune.desktop" not in text, text
        again = world.run("uninstall-desktop", env=env)
        assert "nothing to remove" in again.stdout, again.stdout
    print("ok")


if __name__ == "__main__":
    main()
