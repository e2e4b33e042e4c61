#!/usr/bin/env python3
"""The running program's session: a URL handed over by the desktop reaches
the real account and engines. "oauth-complete" refreshes the connections
with a signed request the sandbox accepts; signed out, it says why.

  session_test.py MIRELUNE
"""
import sys

import clitest


def main():
    with clitest.World(sys.argv[1]) as world:
        signed_out = world.run("url", "mirelune://oauth-complete", ok=False)
        assert "not refreshed" in signed_out.stderr, signed_out.stderr

        world.run("signup", "listener", stdin="password\n")
        done = world.run("url", "mirelune://oauth-complete?service=twitter")
        assert done.stdout.splitlines() == ["handled: oauth-complete", "connections refreshed"], done.stdout

        unknown = world.run("url", "mirelune://nothing-we-know", ok=False)
        assert "no handler" in unknown.stderr, unknown.stderr
    print("ok")


if __name__ == "__main__":
    main()
