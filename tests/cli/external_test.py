#!/usr/bin/env python3
"""The outside-service commands against a loopback stand-in: an answer that
lists nothing exits 0 and says so; an answer that is no answer (a proxy's
page), a service error or a link off the watch site exits 1 with the reason.

  external_test.py MIRELUNE
"""
import json
import os
import subprocess
import sys
import tempfile
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PROXY_PAGE = "<html><body><h1>502 Bad Gateway</h1></body></html>"


class StandIn(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def answer(self, body, kind, status=200):
        data = body.encode()
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        base = "http://127.0.0.1:%d" % self.server.server_port
        if url.path == "/2.0/":
            artist = query.get("artist", "")
            if artist == "Garbled":
                return self.answer(PROXY_PAGE, "text/html")
            if artist == "Busy":
                return self.answer('<lfm status="failed"><error code="29">Rate limit exceeded</error></lfm>',
                                   "text/xml", 503)
            if artist == "Quiet":
                return self.answer('<lfm status="ok"><similartracks track="a" artist="Quiet"/></lfm>', "text/xml")
            return self.answer('<lfm status="ok"><similartracks><track><name>Ray of Light</name>'
                               '<match>0.5</match><artist><name>Madonna</name></artist></track>'
                               '</similartracks></lfm>', "text/xml")
        if url.path == "/search":
            if query["term"].startswith("Garbled"):
                return self.answer(PROXY_PAGE, "text/html")
            return self.answer('{"resultCount": 0, "results": []}', "application/json")
        if url.path == "/feeds/api/videos":
            keyword = query["q"]
            if keyword.endswith("Garbled"):
                return self.answer(PROXY_PAGE, "text/html")
            if keyword.endswith("Elsewhere"):
                link = "http://localhost:%d/watch?v=1" % self.server.server_port
                entry = {"title": {"$t": "Song Elsewhere"}, "link": [{"href": link}],
                         "media$group": {"media$category": [{"$t": "Music"}], "yt$videoid": {"$t": "1"}}}
                return self.answer(json.dumps({"feed": {"entry": [entry]}}), "application/json")
            return self.answer('{"feed": {}}', "application/json")
        self.answer("", "text/plain", 404)


def main():
    mirelune = sys.argv[1]
    server = ThreadingHTTPServer(("127.0.0.1", 0), StandIn)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = "http://127.0.0.1:%d" % server.server_port
    try:
        with tempfile.TemporaryDirectory() as home:
            config = os.path.join(home, "config.json")
            with open(config, "w") as f:
                json.dump({"lastfmBaseUrl": base, "itunesSearchBaseUrl": base, "videoApiBaseUrl": base,
                           "videoWatchBaseUrl": base, "networkStatus": "wired"}, f)
            env = dict(os.environ)
            env.update({"XDG_CONFIG_HOME": home + "/config", "XDG_DATA_HOME": home + "/data",
                        "XDG_CACHE_HOME": home + "/cache", "MIRELUNE_CONFIG": config, "HOME": home,
                        "MIRELUNE_LOG": "error"})

            def run(*args, code):
                done = subprocess.run([mirelune, *args], capture_output=True, text=True, env=env, timeout=60)
                assert done.returncode == code, (args, done.returncode, done.stdout, done.stderr)
                return done

            assert "Madonna - Ray of Light" in run("lastfm", "similar", "Cher", "Believe", code=0).stdout
            assert "no similar tracks" in run("lastfm", "similar", "Quiet", "Song", code=0).stdout
            garbled = run("lastfm", "similar", "Garbled", "Song", code=1)
            assert "no similar tracks" not in garbled.stdout, garbled.stdout
            assert "malformed" in garbled.stderr, garbled.stderr
            busy = run("lastfm", "similar", "Busy", "Song", code=1)
            assert "last.fm 29" in busy.stderr and "Rate limit exceeded" in busy.stderr, busy.stderr

            assert "nothing found" in run("itunes", "search", "Quiet", "Song", code=0).stdout
            assert "malformed" in run("itunes", "search", "Garbled", "Song", code=1).stderr

            assert "no music video found" in run("video", "find", "Quiet", "Song", code=0).stdout
            assert "malformed" in run("video", "find", "Garbled", "Song", code=1).stderr
            elsewhere = run("video", "find", "Elsewhere", "Song", code=1)
            assert "Couldn't download the HTML source code" in elsewhere.stderr, elsewhere.stderr
    finally:
        server.shutdown()
    print("ok")


if __name__ == "__main__":
    main()
