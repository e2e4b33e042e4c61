#!/usr/bin/env python3
"""The listener's language from a usual desktop's environment: LANG alone.
A Japanese desktop asks Last.fm in its code ("jp") and stores Japanese
biographies; an English one stores English biographies.

  language_test.py MIRELUNE
"""
import plistlib
import sqlite3
import sys

import clitest


def japanese(text):
    return any("\u3040" <= c <= "\u30ff" or "\u4e00" <= c <= "\u9fff" for c in text)


def main():
    locale_names = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}
    with clitest.World(sys.argv[1], library_tracks=20) as world:
        for name in locale_names:
            world.env.pop(name, None)
        with open(world.library, "rb") as f:
            artist = next(iter(plistlib.load(f)["Tracks"].values()))["Artist"]

        for lang, wants_japanese in (("ja_JP.UTF-8", True), ("en_US.UTF-8", False)):
            world.use_profile(lang, LANG=lang)
            bio = world.run("lastfm", "artist", artist).stdout.split("\n\n", 1)[1]
            assert japanese(bio) == wants_japanese, (lang, bio[:200])

            world.run("signup", "listener-" + lang[:2], stdin="password\n")
            world.run("artists", "--add", artist)
            world.run("recommend", "--until", "3")
            db = sqlite3.connect(world.store_path)
            bios = [b for (b,) in db.execute("SELECT bioSummary FROM Artist WHERE bioSummary != ''")]
            assert bios, lang
            assert all(japanese(b) == wants_japanese for b in bios), (lang, [b[:80] for b in bios])
    print("ok")


if __name__ == "__main__":
    main()
