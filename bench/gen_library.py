#!/usr/bin/env python3
"""Writes an iTunes-style music library of N tracks (deterministic) to a file.

usage: gen_library.py N OUT
"""
import sys, random, datetime
n = int(sys.argv[1]); out = sys.argv[2]
rnd = random.Random(7)
words = "love night dream fire heart rain blue city light shadow river gold wild young star moon sun road home time".split()
def title(): return " ".join(rnd.choice(words).capitalize() for _ in range(rnd.randint(1,4)))
artists = [title() + (" & The " + title() if rnd.random()<0.2 else "") for _ in range(max(1,n//12))]
def esc(s): return s.replace("&","&amp;").replace("<","&lt;").replace(">","&gt;")
with open(out, "w", encoding="utf-8") as f:
    w = f.write
    w('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n<plist version="1.0">\n<dict>\n')
    w('\t<key>Major Version</key><integer>1</integer>\n\t<key>Minor Version</key><integer>1</integer>\n\t<key>Date</key><date>2026-11-30T10:00:00Z</date>\n\t<key>Application Version</key><string>12.9.5.5</string>\n\t<key>Features</key><integer>5</integer>\n\t<key>Show Content Ratings</key><true/>\n\t<key>Music Folder</key><string>file:///Users/listener/Music/iTunes/iTunes%20Media/</string>\n\t<key>Library Persistent ID</key><string>5A3F9C2E7B1D4086</string>\n\t<key>Tracks</key>\n\t<dict>\n')
    for i in range(n):
        tid = 1000 + 2*i
        a = rnd.choice(artists); al = title(); t = title()
        d = datetime.datetime(2010,1,1) + datetime.timedelta(seconds=rnd.randint(0, 400000000))
        ds = d.strftime("%Y-%m-%dT%H:%M:%SZ")
        w('\t\t<key>%d</key>\n\t\t<dict>\n' % tid)
        items = [("Track ID","integer",tid),("Size","integer",rnd.randint(2000000,12000000)),("Total Time","integer",rnd.randint(120000,420000)),
          ("Disc Number","integer",1),("Disc Count","integer",1),("Track Number","integer",rnd.randint(1,14)),("Track Count","integer",14),("Year","integer",rnd.randint(1960,2026)),
          ("Date Modified","date",ds),("Date Added","date",ds),("Bit Rate","integer",256),("Sample Rate","integer",44100),("Play Count","integer",rnd.randint(0,200)),
          ("Play Date","integer",3700000000+i),("Play Date UTC","date",ds),("Artwork Count","integer",1),("Persistent ID","string","%016X"%rnd.getrandbits(64)),
          ("Track Type","string","File"),("File Folder Count","integer",5),("Library Folder Count","integer",1),
          ("Name","string",esc(t)),("Artist","string",esc(a)),("Album Artist","string",esc(a)),("Album","string",esc(al)),("Genre","string",rnd.choice(["Rock","Pop","Jazz","Electronic","Hip-Hop/Rap"])),
          ("Kind","string","AAC audio file"),("Location","string","file:///Users/listener/Music/iTunes/iTunes%20Media/Music/"+esc(a).replace(" ","%20")+"/"+esc(al).replace(" ","%20")+"/%02d%%20"%rnd.randint(1,14)+esc(t).replace(" ","%20")+".m4a")]
        for k,ty,v in items:
            w('\t\t\t<key>%s</key><%s>%s</%s>\n' % (k,ty,v,ty))
        w('\t\t</dict>\n')
    w('\t</dict>\n\t<key>Playlists</key>\n\t<array>\n\t\t<dict>\n\t\t\t<key>Name</key><string>Library</string>\n\t\t\t<key>Master</key><true/>\n\t\t\t<key>Playlist ID</key><integer>1</integer>\n\t\t\t<key>Playlist Items</key>\n\t\t\t<array>\n')
    for i in range(n):
        w('\t\t\t\t<dict>\n\t\t\t\t\t<key>Track ID</key><integer>%d</integer>\n\t\t\t\t</dict>\n' % (1000+2*i))
    w('\t\t\t</array>\n\t\t</dict>\n\t</array>\n</dict>\n</plist>\n')
