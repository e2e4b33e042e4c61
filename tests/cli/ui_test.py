#!/usr/bin/env python3
"""The window's pages served from the command line: `mirelune ui --no-window`
prints the address that lets a browser in, refuses anyone without it, keeps
one program per profile and ends cleanly on SIGTERM. `mirelune --browser`
hands the address to the browser (here: a log file), again when started a
second time.

  ui_test.py MIRELUNE
"""
import os
import signal
import subprocess
import sys
import time
import urllib.error
import urllib.request

import clitest


class NoRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args, **kwargs):
        return None


def fetch(url, cookie=None):
    """(status, headers, body) without following redirects."""
    request = urllib.request.Request(url)
    if cookie:
        request.add_header("Cookie", cookie)
    opener = urllib.request.build_opener(NoRedirect)
    try:
        with opener.open(request, timeout=30) as response:
            return response.status, response.headers, response.read()
    except urllib.error.HTTPError as error:
        return error.code, error.headers, error.read()


def wait_for(condition, what, limit=60):
    deadline = time.monotonic() + limit
    while not condition():
        assert time.monotonic() < deadline, "gave up waiting for " + what
        time.sleep(0.05)


def serve_without_window(world):
    first = subprocess.Popen([world.mirelune, "ui", "--no-window"], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=world.env)
    try:
        address = first.stdout.readline().strip()
        assert address.startswith("http://127.0.0.1:") and "/?secret=" in address, address
        origin = address.split("/?")[0]

        status, headers, _ = fetch(address)
        assert status == 303, status
        assert headers["Location"].endswith("/index.html"), headers["Location"]
        cookie_header = headers["Set-Cookie"]
        assert "HttpOnly" in cookie_header and "SameSite=Strict" in cookie_header, cookie_header
        cookie = cookie_header.split(";")[0]

        status, headers, body = fetch(origin + "/strings.json", cookie)
        assert status == 200, status
        assert headers["Content-Type"].startswith("application/json"), headers["Content-Type"]
        assert body.startswith(b"{"), body

        assert fetch(origin + "/strings.json")[0] == 403
        assert fetch(origin + "/")[0] == 403
        assert fetch(origin + "/?secret=0000")[0] == 403

        second = world.run("ui", "--no-window", timeout=60)
        assert "already running" in second.stdout, second.stdout

        first.send_signal(signal.SIGTERM)
        assert first.wait(timeout=60) == 0, first.stderr.read()
    finally:
        if first.poll() is None:
            first.kill()
            first.wait()


def open_in_browser(world):
    log = os.path.join(world.home, "opened.txt")
    env = dict(world.env, MIRELUNE_OPEN_URL_LOG=log)
    first = subprocess.Popen([world.mirelune, "--browser"], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=env)
    try:
        lines = lambda: open(log).read().splitlines() if os.path.exists(log) else []
        wait_for(lambda: len(lines()) == 1, "the address in the browser")
        assert lines()[0].startswith("http://127.0.0.1:"), lines()
        again = subprocess.run([world.mirelune, "--browser"], capture_output=True, text=True,
                               env=env, timeout=60)
        assert again.returncode == 0 and "already running" in again.stdout, again
        # The first opened its own address again.
        wait_for(lambda: len(lines()) == 2, "the address opened again")
        assert lines()[1] == lines()[0], lines()
        first.send_signal(signal.SIGINT)
        assert first.wait(timeout=60) == 0, first.stderr.read()
    finally:
        if first.poll() is None:
            first.kill()
            first.wait()


def main():
    with clitest.World(sys.argv[1]) as world:
        no_display = {k: v for k, v in world.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        done = subprocess.run([world.mirelune], capture_output=True, text=True, env=no_display,
                              timeout=60)
        assert done.returncode != 0, done
        assert "mirelune --browser" in done.stderr and "ui --no-window" in done.stderr, done.stderr

        world.run("signup", "listener", stdin="password\n")

        serve_without_window(world)
        open_in_browser(world)
    print("ok")


if __name__ == "__main__":
    main()
