"""What the command-line tests share: a sandbox on loopback, a fresh profile
pointed at it, and running `mirelune` in it.

    with clitest.World(sys.argv[1], library_tracks=20) as world:
        world.run("signup", "listener", stdin="password\\n")
"""
import json
import os
import sqlite3
import subprocess
import tempfile


class World:
    def __init__(self, mirelune, library_tracks=None, sandbox_args=(), env=None, request_log=False):
        self.mirelune = mirelune
        self.request_log = request_log
        self.library_tracks = library_tracks
        self.sandbox_args = list(sandbox_args)
        self.extra_env = env or {}

    def __enter__(self):
        self._home = tempfile.TemporaryDirectory()
        self.home = self._home.name
        self.library = os.path.join(self.home, "library.xml")
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("MIRELUNE_")}
        self.env.update({"MIRELUNE_CONFIG": self.home + "/sandbox/config.json", "HOME": self.home,
                         "MIRELUNE_LOG": "error"})
        self.env.update(self.extra_env)
        self.use_profile("profile")
        command = [self.mirelune, "sandbox", "--port", "0", "--data", self.home + "/sandbox",
                   "--write-config", self.home + "/sandbox/config.json", *self.sandbox_args]
        self.request_log_path = os.path.join(self.home, "requests.jsonl")
        if self.request_log:
            command += ["--request-log", self.request_log_path]
        if self.library_tracks is not None:
            command += ["--write-library", self.library, "--library-tracks", str(self.library_tracks)]
        self.sandbox = subprocess.Popen(command, stdout=subprocess.PIPE, text=True, env=self.env)
        self.base_url = self.sandbox.stdout.readline().strip()
        assert self.base_url.startswith("http://127.0.0.1:"), self.base_url
        return self

    def __exit__(self, *exc):
        self.sandbox.terminate()
        self.sandbox.wait(timeout=30)
        self._home.cleanup()

    def use_profile(self, name, **env):
        """Settings, store and caches of one listener under the home folder."""
        self.profile = os.path.join(self.home, name)
        self.env.update({"XDG_CONFIG_HOME": self.profile + "/config",
                         "XDG_DATA_HOME": self.profile + "/data",
                         "XDG_CACHE_HOME": self.profile + "/cache"})
        self.env.update(env)

    def answered_requests(self):
        """The sandbox's log of answered requests (with request_log=True)."""
        with open(self.request_log_path) as log:
            return [json.loads(line) for line in log]

    @property
    def store_path(self):
        return os.path.join(self.profile, "data", "mirelune", "mirelune.sqlite")

    def history(self):
        """The stored playback history, as (artist, title) rows."""
        with sqlite3.connect(self.store_path) as db:
            return db.execute("SELECT artist, title FROM PlayHistoryTrack").fetchall()

    def run(self, *args, stdin=None, ok=True, timeout=240, env=None):
        done = subprocess.run([self.mirelune, *args], input=stdin, capture_output=True, text=True,
                              env=dict(self.env, **(env or {})), timeout=timeout)
        if ok is not None:
            assert (done.returncode == 0) == ok, (args, done.returncode, done.stdout, done.stderr)
        return done
