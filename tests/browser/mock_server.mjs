// Development stand-in for the program: serves web/ and plays the program's
// side of the page protocol (web/PROTOCOL.md) with canned data, so every
// screen can be looked at without building the program.
//
//   node mock_server.mjs [port]        (default 8765; 0 picks a free one)
//   MIRELUNE_LANG=ja node mock_server.mjs
//
// Prints "listening on http://127.0.0.1:PORT/" once ready.
import http from "node:http";
import crypto from "node:crypto";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";

const here = path.dirname(fileURLToPath(import.meta.url));
const webRoot = path.resolve(here, "../../web");
const port = Number(process.argv[2] ?? process.env.PORT ?? 8765);

// ---------- texts ----------

function loadStrings(lang) {
  const merged = {};
  for (const l of ["en", lang]) {
    const dir = path.join(webRoot, "strings", l);
    if (!fs.existsSync(dir)) continue;
    for (const f of fs.readdirSync(dir).filter((f) => f.endsWith(".json")).sort()) {
      try {
        Object.assign(merged, JSON.parse(fs.readFileSync(path.join(dir, f), "utf8")));
      } catch (e) {
        console.error("bad strings file", f, e.message);
      }
    }
  }
  return merged;
}

function pickLang(req) {
  if (process.env.MIRELUNE_LANG) return process.env.MIRELUNE_LANG;
  return /^ja\b/i.test(req.headers["accept-language"] ?? "") ? "ja" : "en";
}

// ---------- canned data ----------

const ARTISTS = [
  "Aurora Vale", "The Paper Lanterns", "Kenji Morrow", "Solene", "Night Harbor", "Mina Aoyama",
  "Velvet Circuit", "Oskar Lind", "Cloudberry Jam", "Hollow Pines", "Rina Takeda", "The Midnight Ferns",
  "Juno Park", "Ivory Coastline", "Lumen Drift", "Marlow & Finch", "Saffron Skies", "Tessellate",
];
const TITLES = [
  "Glass Houses", "Slow Orbit", "Paper Moon", "Northern Lights", "Harbor Song", "Kaleidoscope",
  "Summer Static", "Low Tide", "Signal Fires", "Velvet Morning", "Fireflies", "Afterglow",
  "Strangers in Tokyo", "Open Water", "Quiet Hours", "Golden Hour", "Neon Rain", "Sea Glass",
  "Runaway Train", "Weightless", "Parallel Lines", "Polaroid", "Midnight Drive", "Echo Park",
];
const GENRES = ["Indie Pop", "Dream Pop", "Electronic", "Jazz", "Folk", "Synthwave", "Soul", "Ambient", "J-Pop", "Shoegaze", "Trip Hop", "Post Rock"];

const art = (seed) => `/mock/art/${encodeURIComponent(seed)}.svg`;

function track(i, opts = {}) {
  const artist = ARTISTS[(i * 7 + 3) % ARTISTS.length];
  const title = TITLES[(i * 5 + 1) % TITLES.length];
  const seedArtist = ARTISTS[(i * 3 + 5) % ARTISTS.length];
  const seedTitle = TITLES[(i * 11 + 7) % TITLES.length];
  const sources = [{ id: 10, label: "iTunes" }];
  if (i % 3 !== 1) sources.push({ id: 20, label: "YouTube" });
  return {
    title,
    artist,
    artwork: i % 9 === 4 ? null : art(`${artist}-${title}`),
    reason: opts.noReason ? "" : `because you have ${seedTitle} by ${seedArtist}`,
    sources,
    favorite: i % 5 === 2,
    cached: i % 10 === 2,
  };
}

// ---------- one window's state ----------

let channelSeq = 1;
const state = {
  stack: [],
  modal: null,
  screens: new Map(), // channel -> screen state
  playing: null, // {channel, index}
  playState: "playing",
  position: 42,
  duration: 30 * 3,
  videoVisible: false,
  highlight: false,
  search: { open: false, results: [], selected: null, text: "" },
  menu: { shareOnFacebook: true, shareOnTwitter: false, autoSharingOnFavorite: true, facebookConnected: true, twitterConnected: false },
  alerts: new Map(),
  alertSeq: 1,
  sideSelected: 0,
};

function newScreen(kind, title, extra = {}) {
  const prefix = kind === "home" ? "home" : kind === "playlist" ? "playlist" : "list";
  const channel = `${prefix}-${channelSeq++}`;
  const screen = { channel, kind, title, ...extra };
  state.screens.set(channel, screen);
  return screen;
}

function newPlaylist(title, mixKind, count, grow = 0) {
  const base = channelSeq * 13;
  const rows = Array.from({ length: count }, (_, i) => track(base + i, { noReason: mixKind !== "recommend" }));
  return newScreen("playlist", title, { mixKind, rows, grow, progress: grow ? { text: "Locating tracks…", fraction: 0 } : null, total: count + grow });
}

const recommend = newPlaylist("Recommended for you", "recommend", 6, 18);
state.stack.push(recommend);
state.playing = { channel: recommend.channel, index: 1 };
state.modal = newScreen("home", "Home", { src: "page/MainMenu/MainMenu.html" });

// ---------- sending ----------

let client = null;
const js = (v) => JSON.stringify(v);

function send(channel, script) {
  client?.sendText(JSON.stringify({ channel, script }));
}
const main = (script) => send("main", script);

const SIDE = [
  { index: 0, key: "Home", title: "Home" },
  { index: 1, key: "MyFavorites", title: "My Favorites" },
  { index: 2, key: "History", title: "History" },
  { index: 3, key: "MyMusicProfile", title: "My Music Profile" },
  { index: 4, key: "ProcessingStatus", title: "Processing Status" },
];

function currentTrack() {
  if (!state.playing) return null;
  return state.screens.get(state.playing.channel)?.rows?.[state.playing.index] ?? null;
}

function sendControlPanel() {
  const t = currentTrack();
  const screen = state.playing && state.screens.get(state.playing.channel);
  main(`app.setControlPanel(${js(t ? {
    state: state.playState, title: t.title, artist: t.artist, artwork: t.artwork,
    source: t.sources.some((s) => s.id === 20) ? "YouTube" : "iTunes", sourceId: t.sources.some((s) => s.id === 20) ? 20 : 10,
    canBackward: state.playing.index > 0, canForward: state.playing.index < (screen?.rows.length ?? 0) - 1, videoVisible: state.videoVisible,
  } : { state: "none" })})`);
}

function sendTime() {
  const loadedEnd = Math.min(state.duration, state.position + 25);
  main(`app.setPlaybackTime(${js({ position: state.position, duration: state.duration, loaded: [[0, loadedEnd]], buffering: state.playState === "loading" })})`);
  if (state.videoVisible) sendVideo();
}

function sendVideo() {
  main(`app.setVideo(${js({ visible: state.videoVisible, url: null, position: state.position, playing: state.playState === "playing" })})`);
}

function stackList() {
  return state.stack.map((s) => ({ channel: s.channel, kind: s.kind, title: s.title }));
}

function sendWindow() {
  main(`app.setSideMenu(${js(SIDE)}, ${js(state.sideSelected)})`);
  main(`app.setStack(${js(stackList())})`);
  main(`app.setModal(${js(state.modal ? { channel: state.modal.channel, kind: state.modal.kind, title: state.modal.title, src: state.modal.src ?? null } : null)})`);
  main(`app.setMenu(${js(state.menu)})`);
  sendControlPanel();
  sendTime();
  main(`app.setDetail(${js({ src: "page/TrackDetail/track.html", channel: "detail" })})`);
  sendVideo();
}

function sendDetail() {
  const t = currentTrack();
  if (!t) return;
  send("detail", `app.setMetaData(${js({
    artistName: t.artist,
    trackTitle: t.title,
    artworkUrl: t.artwork ?? "",
    profile: `${t.artist} is a band formed in a coastal town, known for hazy guitars, warm analog synths and songs about long drives at night. Their second album brought them to festival stages across Europe and Japan. <a href="https://www.last.fm/music/x">Read more on Last.fm</a>`,
    link: {
      iTunesStore: t.sources.some((s) => s.id === 10) ? "https://example.com/store/" + encodeURIComponent(t.title) : null,
      youTubeVideo: t.sources.some((s) => s.id === 20) ? "https://example.com/watch?v=abc" : null,
      lastfm: "https://example.com/music/" + encodeURIComponent(t.artist),
      amazonSearch: "https://example.com/search?k=" + encodeURIComponent(t.title),
    },
  })});`);
  send("detail", `app.setCommentsOnMirelune(${js([
    { name: "mika", text: "This one got me through a long night shift. Thank you, Mirelune!" },
    { name: "ferngully", text: "The bridge at 2:10 is everything." },
  ])});`);
  send("detail", `app.setCommentsOnYouTube(${js([
    { name: "Sam K.", text: "Found this through a mix and have had it on repeat since." },
    { name: "yuki_t", text: "夜のドライブにぴったり" },
    { name: "Lou", text: "Underrated band, deserves way more listeners." },
  ])});`);
}

function sendScreen(screen) {
  const c = screen.channel;
  if (screen.kind === "home") {
    send(c, `app.setNewReleases(${js(Array.from({ length: 14 }, (_, i) => {
      const t = track(i * 2 + 40);
      return { artwork: i === 5 ? "" : art(`release-${i}`), artist: t.artist, title: t.title, collectionId: 1000 + i };
    }))})`);
    send(c, `app.setTodaysArtists(${js(ARTISTS.slice(0, 10).map((name, index) => ({ index, artwork: index === 3 ? "" : art(`artist-${name}`), name })))})`);
    setTimeout(() => send(c, `app.setGenreList(${js(GENRES.map((genreTag, index) => ({
      index,
      genreTag,
      artwork: index === 7 ? [] : [0, 1, 2, 3].map((j) => art(`${genreTag}-${j % (index % 4 === 1 ? 2 : 4)}`)),
    })))})`), 150);
  } else if (screen.kind === "playlist") {
    const playing = state.playing?.channel === c ? state.playing.index : null;
    send(c, `app.setPlaylist(${js({ title: screen.title, kind: screen.mixKind, rows: screen.rows, playing, playState: playing === null ? "none" : state.playState, progress: screen.progress })})`);
  } else if (screen.kind === "favoriteArtists") {
    send(c, `app.setList(${js({
      title: screen.title,
      actions: ["Favorite Tracks"],
      items: [
        { title: "All Favorite Tracks", artwork: "/resources/favorites/favorites_all.svg", section: "" },
        { title: "Shuffle All Favorites", artwork: "/resources/favorites/favorites_random.svg", section: "" },
        ...ARTISTS.slice(2, 9).map((name, i) => ({ title: name, artwork: i === 2 ? null : art(`artist-${name}`), section: "Artists" })),
      ],
    })})`);
  } else if (screen.kind === "processingStatus") {
    send(c, `app.setList(${js({
      title: screen.title,
      items: [
        { title: "Checking your music library", subtitle: "1,204 of 3,480 songs", progress: 0.35 },
        { title: "Building your recommendations", subtitle: "Locating tracks by Aurora Vale", progress: true },
        { title: "Caching a favorite", subtitle: "Glass Houses — Solene", progress: 0.8 },
        { title: "Checking new releases", subtitle: "Waiting" },
      ],
      empty: "Nothing is being processed right now.",
    })})`);
  } else if (screen.kind === "profile") {
    const shapes = ["star", "drop", "diamond", "heart", "fire", "thunder", "note", "apple"];
    const shape = screen.shape ?? "star";
    const list = (o) => send(c, `app.setList(${js({ title: screen.title, selected: shapes.indexOf(shape), items: shapes.map((s) => ({ title: s[0].toUpperCase() + s.slice(1), artwork: `/resources/tagcloud/tagcloud_${s}.svg` })), ...o })})`);
    // As the program does: the picture in place stays while the next loads
    // (indicator, then the download's fraction), then the new one.
    if (screen.picture === shape) {
      list({ image: art("tagcloud-" + shape) });
    } else {
      const before = screen.picture ? art("tagcloud-" + screen.picture) : null;
      list({ image: before, progress: { text: "Loading…", fraction: null } });
      setTimeout(() => list({ image: before, progress: { text: "Loading…", fraction: 0.4 } }), 300);
      setTimeout(() => {
        screen.picture = shape;
        list({ image: art("tagcloud-" + shape) });
      }, 900);
    }
  } else if (screen.kind === "similarArtists") {
    send(c, `app.setList(${js({ title: screen.title, items: [], progress: { text: "Loading…" } })})`);
    setTimeout(() => send(c, `app.setList(${js({ title: screen.title, items: ARTISTS.slice(5, 15).map((name, i) => ({ title: name, artwork: i === 4 ? null : art(`artist-${name}`) })) })})`), 500);
  }
}

function sendStack() {
  main(`app.setStack(${js(stackList())})`);
}

function push(screen) {
  state.modal = null;
  state.stack.push(screen);
  main(`app.setModal(null)`);
  sendStack();
}

function showModal(screen) {
  state.modal = screen;
  main(`app.setModal(${js({ channel: screen.channel, kind: screen.kind, title: screen.title, src: screen.src ?? null })})`);
}

function alert(o, onEnd) {
  const id = state.alertSeq++;
  state.alerts.set(id, onEnd ?? (() => {}));
  main(`app.showAlert(${js({ id, cancel: null, destructive: null, sheet: false, ...o })})`);
}

function play(channel, index) {
  state.playing = { channel, index };
  state.playState = "loading";
  state.position = 0;
  send(channel, `app.setPlaying(${index}, "loading")`);
  sendControlPanel();
  sendTime();
  sendDetail();
  setTimeout(() => {
    state.playState = "playing";
    send(channel, `app.setPlaying(${index}, "playing")`);
    sendControlPanel();
  }, 600);
}

function togglePlay() {
  if (!state.playing) return;
  state.playState = state.playState === "playing" ? "paused" : "playing";
  send(state.playing.channel, `app.setPlaying(${state.playing.index}, ${js(state.playState)})`);
  sendControlPanel();
}

// ---------- requests from the page ----------

function onRequest(channel, name, p) {
  const index = Number.parseInt(p.index ?? "0", 10) || 0;
  const screen = state.screens.get(channel);
  if (channel === "main") {
    switch (name) {
      case "sideMenuDidSelect":
        state.sideSelected = index;
        main(`app.setSideMenu(${js(SIDE)}, ${index})`);
        if (index === 0) { if (state.modal?.kind !== "home") showModal(newScreen("home", "Home", { src: "page/MainMenu/MainMenu.html" })); }
        else if (index === 1) push(newScreen("favoriteArtists", "My Favorites"));
        else if (index === 2) push(newPlaylist("History", "history", 9));
        else if (index === 3) { if (state.modal?.kind !== "profile") showModal(newScreen("profile", "My Music Profile")); }
        else if (index === 4) push(newScreen("processingStatus", "Processing Status"));
        return;
      case "navigateBack":
        if (state.stack.length > 1) state.stack.pop();
        sendStack();
        return;
      case "controlPanel":
        if (p.action === "play") togglePlay();
        else if (p.action === "forward" && state.playing) play(state.playing.channel, state.playing.index + 1);
        else if (p.action === "backward" && state.playing) play(state.playing.channel, Math.max(0, state.playing.index - 1));
        else if (p.action === "image") { state.videoVisible = !state.videoVisible; sendVideo(); sendControlPanel(); }
        else if (p.action === "seek") { state.position = Number(p.position) || 0; sendTime(); }
        else if (p.action === "currentTrack" && state.playing) {
          if (state.modal) { state.modal = null; main("app.setModal(null)"); }
          const top = state.stack.at(-1);
          if (top?.channel !== state.playing.channel) { const s = state.screens.get(state.playing.channel); state.stack.push(s); sendStack(); }
          else send(top.channel, `app.scrollToRow(${state.playing.index})`);
          sendDetail();
        }
        return;
      case "keyDown":
        if (p.code === "32") main("app.setPlayHighlight(true)");
        return;
      case "keyUp":
        if (p.code === "32") { main("app.setPlayHighlight(false)"); togglePlay(); }
        return;
      case "searchTextDidChange": {
        const text = (p.text ?? "").toLowerCase();
        state.search = text
          ? { open: true, results: ARTISTS.filter((a) => a.toLowerCase().includes(text)).slice(0, 20), selected: 0, text }
          : { open: false, results: [], selected: null, text };
        if (state.search.results.length === 0) state.search.selected = null;
        main(`app.setSearch(${js(state.search)})`);
        return;
      }
      case "searchKey": {
        const s = state.search;
        const n = s.results.length;
        if (p.key === "down" && n) s.selected = ((s.selected ?? -1) + 1) % n;
        else if (p.key === "up" && n) s.selected = ((s.selected ?? 0) - 1 + n) % n;
        else if (p.key === "escape") s.open = false;
        else if (p.key === "return") {
          s.open = false;
          if (s.selected !== null) push(newPlaylist(s.results[s.selected], "artist", 10));
        }
        main(`app.setSearch(${js(s)})`);
        return;
      }
      case "searchDidChoose":
        state.search.open = false;
        main(`app.setSearch(${js(state.search)})`);
        if (state.search.results[index]) push(newPlaylist(state.search.results[index], "artist", 10));
        return;
      case "alertDidEnd": {
        const done = state.alerts.get(Number(p.id));
        state.alerts.delete(Number(p.id));
        done?.(Number(p.button));
        return;
      }
      case "menuCommand":
        if (p.name === "clearHistory") alert({ title: "", message: "Your play history was cleared.", buttons: ["OK"] });
        else if (p.name === "logout") alert({ title: "Notice", message: "Do you really want to log out?", buttons: ["No", "Yes"], cancel: 0 });
        else if (["shareOnFacebook", "shareOnTwitter", "autoSharingOnFavorite"].includes(p.name)) { state.menu[p.name] = !state.menu[p.name]; main(`app.setMenu(${js(state.menu)})`); }
        return;
      default:
        return;
    }
  }
  if (!screen) return;
  if (screen.kind === "home") {
    if (name === "genreDidSelect") push(newPlaylist(GENRES[index] ?? "Genre", "recommend", 3, 14));
    else if (name === "artistDidSelect") push(newPlaylist(ARTISTS[index] ?? "Artist", "artist", 10));
    return;
  }
  if (screen.kind === "playlist") {
    const row = screen.rows[index];
    switch (name) {
      case "rowDidSelect":
        if (state.playing && (state.playing.channel !== channel || state.playing.index !== index)) {
          const old = state.playing;
          if (old.channel !== channel) send(old.channel, "app.setPlaying(null, \"none\")");
        }
        play(channel, index);
        return;
      case "menuDidOpen":
        screen.revealed = index;
        send(channel, `app.revealMenu(${index}, ${js({ favorite: !row?.favorite, favorited: !!row?.favorite, trash: screen.mixKind === "favorites", cache: screen.mixKind === "favorites" && row?.favorite && !row?.cached, uncache: screen.mixKind === "favorites" && !!row?.cached })})`);
        return;
      case "menuDidClose":
        screen.revealed = null;
        send(channel, "app.revealMenu(null, {})");
        return;
      case "rowAction":
        if (!row) return;
        if (p.action === "favorite" || p.action === "favorited") {
          row.favorite = p.action === "favorite";
          send(channel, `app.updateRow(${index}, ${js(row)})`);
          send(channel, `app.revealMenu(${index}, ${js({ favorite: !row.favorite, favorited: row.favorite })})`);
        } else if (p.action === "info") {
          sendDetail();
        } else if (p.action === "comment") {
          main(`app.showSheet(${js({ channel: "comment-1", kind: "comment", title: "Leave a comment" })})`);
        } else if (p.action === "action") {
          const buttons = ["Don't play this artist", "More by this artist", "Similar tracks", "Related artists", "Cancel"];
          alert({ title: `${row.title} / ${row.artist}`, message: "", buttons, destructive: 0, cancel: 4, sheet: true }, (b) => {
            if (b === 1) push(newPlaylist(row.artist, "artist", 10));
            else if (b === 2) push(newPlaylist(`Similar to ${row.title}`, "similar", 10));
            else if (b === 3) push(newScreen("similarArtists", `Artists like ${row.artist}`));
            else if (b === 0) alert({ title: "Don't play this artist?", message: `${row.artist} will not be recommended again.`, buttons: ["Cancel", "OK"], cancel: 0 });
          });
        }
        return;
      default:
        return;
    }
  }
  if (name === "itemDidSelect") {
    if (screen.kind === "profile") {
      const shapes = ["star", "drop", "diamond", "heart", "fire", "thunder", "note", "apple"];
      screen.shape = shapes[index] ?? "star";
      sendScreen(screen);
    } else {
      push(newPlaylist(screen.kind === "favoriteArtists" ? "Favorites" : "Artist mix", screen.kind === "favoriteArtists" ? "favorites" : "artist", 8));
    }
  }
}

// ---------- the welcome window (MOCK_WELCOME=1) ----------

const welcome = { stack: [], busy: false, timer: null, checked: 0, found: 0, alertId: 1 };
const WELCOME_ON = !!process.env.MOCK_WELCOME;
function welcomeState() {
  const top = welcome.stack.at(-1) ?? "welcome";
  const o = { screen: top, canGoBack: welcome.stack.length > 1 && !welcome.busy };
  if (top === "terms") o.url = `http://127.0.0.1:${port}/app/mirelune-tou`;
  if (top === "signUp") {
    o.busy = welcome.busy;
    o.birthYears = [{ tag: -1, title: "Select" }, ...Array.from({ length: 90 }, (_, i) => ({ tag: 1920 + i, title: String(1920 + i) }))];
    o.sexes = [{ tag: -1, title: "Select" }, { tag: 0, title: "Male" }, { tag: 1, title: "Female" }];
    const countries = JSON.parse(fs.readFileSync(path.join(webRoot, "resources/iTunesStoreCountries.json"), "utf8"));
    o.countries = [...countries.map((c) => ({ code: c.Code.toLowerCase(), title: c.Country })), { code: "", title: "Other country" }];
    o.values = { user: "", birthYear: -1, sex: -1, country: "jp" };
  }
  if (top === "logIn") Object.assign(o, { busy: welcome.busy, values: { user: "" } });
  if (top === "analysis") {
    const ready = welcome.found >= 30;
    Object.assign(o, {
      title: ready ? "Mirelune is ready!" : "Analyzing your preferences…",
      progressText: welcome.checked ? `Checked ${welcome.checked} of 1240 songs in your library` : "Preparing…",
      recommendText: `${welcome.found} recommended songs found`,
      fraction: welcome.checked ? Math.min(1, welcome.found / 30) : null,
      ready,
    });
    o.canGoBack = !ready;
  }
  return o;
}
function sendWelcome() {
  if (WELCOME_ON) send("welcome", `app.setWelcome(${js(welcomeState())})`);
}
function onWelcome(name, p) {
  const push = (s) => { welcome.stack.push(s); sendWelcome(); };
  switch (name) {
    case "showSignUp": push(welcome.agreed ? "signUp" : "terms"); welcome.next = "signUp"; break;
    case "showLogIn": push(welcome.agreed ? "logIn" : "terms"); welcome.next = "logIn"; break;
    case "agree": welcome.agreed = true; push(welcome.next); break;
    case "navigateBack": if (welcome.stack.length > 1) { welcome.stack.pop(); clearInterval(welcome.timer); sendWelcome(); } break;
    case "register":
      if (!p.user) {
        send("welcome", `app.showAlert(${js({ id: welcome.alertId++, title: "Error", message: "Please enter an account name.", buttons: ["OK"], cancel: 0, sheet: false })})`);
        break;
      }
      // falls through
    case "logIn":
      welcome.busy = true;
      sendWelcome();
      setTimeout(() => {
        welcome.busy = false;
        welcome.checked = 0;
        welcome.found = 0;
        push("analysis");
        clearInterval(welcome.timer);
        welcome.timer = setInterval(() => {
          welcome.checked = Math.min(1240, welcome.checked + 160);
          if (welcome.checked > 300) welcome.found = Math.min(30, welcome.found + 3);
          sendWelcome();
          if (welcome.found >= 30) clearInterval(welcome.timer);
        }, Number(process.env.MOCK_WELCOME_TICK ?? 400));
      }, 500);
      break;
    case "getStarted":
      send("welcome", "app.closeWelcome()");
      // The next page (the screenshots' dark pass) starts over.
      Object.assign(welcome, { stack: [], agreed: false, found: 0, checked: 0 });
      break;
    case "alertDidEnd": send("welcome", `app.closeAlert(${Number(p.id)})`); break;
    case "openSheet":
      send("welcome", `app.showSheet(${js({ channel: `${p.kind}-1`, kind: p.kind, title: p.kind === "musicLibrary" ? "Music library" : "Your favorite artists" })})`);
      break;
  }
}

function onFrame(text) {
  let f;
  try {
    f = JSON.parse(text);
  } catch {
    return;
  }
  if (f.channel === "main" && f.event === "hello") {
    sendWindow();
    return;
  }
  if (f.event === "load") {
    if (f.channel === "welcome") {
      if (WELCOME_ON && !welcome.stack.length) welcome.stack.push("welcome");
      sendWelcome();
    } else if (f.channel === "inputPreferences-1") {
      send(f.channel, `app.setPreferences(${js({ description: "Enter at least three of your favorite artists:", artists: ["Radiohead", "Björk", ""], canCancel: false, busy: false, progress: null })})`);
    } else if (f.channel === "musicLibrary-1") {
      send(f.channel, `app.setMusicLibrary(${js({ path: "/home/listener/Music/iTunes/iTunes Music Library.xml", defaultPath: "/home/listener/Music/iTunes/iTunes Music Library.xml", isDefault: true, message: "Please specify the location of 'iTunes Music Library.xml'" })})`);
    } else if (f.channel === "detail") sendDetail();
    else if (f.channel === "comment-1") {
      const t = currentTrack();
      send("comment-1", `app.setCommentForm(${js({ title: t?.title, artist: t?.artist, artwork: t?.artwork, facebook: { enabled: true, checked: true }, twitter: { enabled: false, checked: false }, texts: { input: "Write a comment…", submit: "Submit", cancel: "Cancel" } })})`);
    } else {
      const s = state.screens.get(f.channel);
      if (s) sendScreen(s);
    }
    return;
  }
  if (typeof f.url === "string") {
    const m = /^app:\/\/([^?]*)\??(.*)$/.exec(f.url);
    if (!m) {
      console.log("open in browser:", f.url);
      return;
    }
    const params = Object.fromEntries(new URLSearchParams(m[2]));
    console.log("request", f.channel, m[1], params);
    if (f.channel === "welcome") onWelcome(m[1], params);
    else if (f.channel === "inputPreferences-1" || f.channel === "musicLibrary-1") {
      if (/DidEnd|DidSubmit|DidCancel/.test(m[1])) send("welcome", "app.closeSheet()");
    } else onRequest(f.channel, m[1], params);
  }
}

// The mixes grow, and the playing track moves on.
setInterval(() => {
  for (const s of state.screens.values()) {
    if (s.kind !== "playlist" || !s.grow) continue;
    // Mostly appended, now and then one above the others (the list must not jump).
    const at = s.rows.length % 4 === 3 ? 0 : s.rows.length;
    const row = track(s.channel.length * 31 + s.rows.length + 100);
    s.rows.splice(at, 0, row);
    if (state.playing?.channel === s.channel && at <= state.playing.index) state.playing.index++;
    send(s.channel, `app.insertRow(${at}, ${js(row)})`);
    s.grow--;
    s.progress = s.grow ? { text: `Locating tracks by ${ARTISTS[s.grow % ARTISTS.length]}…`, fraction: 1 - s.grow / s.total } : null;
    send(s.channel, `app.setProgress(${js(s.progress)})`);
  }
}, 450);
setInterval(() => {
  if (state.playState !== "playing") return;
  state.position = (state.position + 1) % state.duration;
  sendTime();
}, 1000);

// ---------- artwork: generated covers, so no network is needed ----------

function hue(s) {
  return crypto.createHash("md5").update(s).digest().readUInt32BE(0);
}

function cover(seed) {
  const h = hue(seed);
  const a = h % 360;
  const b = (a + 40 + (h >> 8) % 120) % 360;
  const kind = (h >> 4) % 4;
  const shapes = [
    `<circle cx="${60 + (h % 80)}" cy="${70 + ((h >> 3) % 60)}" r="${40 + (h % 30)}" fill="hsl(${b} 80% 70%)" opacity=".85"/>`,
    `<rect x="30" y="30" width="140" height="140" rx="8" fill="none" stroke="hsl(${b} 90% 80%)" stroke-width="10" transform="rotate(${h % 45} 100 100)"/>`,
    `<path d="M0 ${140 - (h % 40)} Q100 ${60 + (h % 50)} 200 ${130 - (h % 30)} V200 H0z" fill="hsl(${b} 70% 35%)" opacity=".8"/><circle cx="150" cy="55" r="22" fill="hsl(${(b + 180) % 360} 90% 85%)"/>`,
    Array.from({ length: 6 }, (_, i) => `<line x1="0" y1="${30 * i + 20}" x2="200" y2="${30 * i + 20 - (h % 40)}" stroke="hsl(${b} 80% 75%)" stroke-width="6" opacity="${0.3 + i * 0.1}"/>`).join(""),
  ];
  return `<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 200 200" width="400" height="400">
<defs><linearGradient id="g" x1="0" y1="0" x2="1" y2="1"><stop offset="0" stop-color="hsl(${a} 65% 45%)"/><stop offset="1" stop-color="hsl(${(a + 60) % 360} 70% 22%)"/></linearGradient></defs>
<rect width="200" height="200" fill="url(#g)"/>${shapes[kind]}</svg>`;
}

// ---------- HTTP and a minimal WebSocket ----------

const TYPES = { ".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8", ".mjs": "text/javascript; charset=utf-8", ".css": "text/css; charset=utf-8", ".json": "application/json; charset=utf-8", ".svg": "image/svg+xml", ".png": "image/png", ".jpg": "image/jpeg" };

const server = http.createServer((req, res) => {
  const url = new URL(req.url, "http://localhost");
  if (url.pathname === "/app/mirelune-tou") {
    res.writeHead(200, { "Content-Type": "text/html; charset=utf-8" });
    res.end(`<!doctype html><meta name="color-scheme" content="light dark"><style>body{font:14px/1.6 system-ui;padding:24px 28px;margin:0}@media (prefers-color-scheme:dark){body{background:#18171f;color:#eee}}</style><h1 style="font-size:20px">Mirelune Terms of Use</h1><p>These terms govern your use of Mirelune. By creating an account or logging in you agree to them.</p><h2 style="font-size:15px">1. Your account</h2><p>Keep your password to yourself.</p><h2 style="font-size:15px">2. Your music library</h2><p>Mirelune reads the titles, artists and play counts of your songs; never the audio files.</p>`);
    return;
  }
  if (url.pathname === "/strings.json") {
    res.writeHead(200, { "content-type": TYPES[".json"], "cache-control": "no-cache" });
    res.end(JSON.stringify(loadStrings(pickLang(req))));
    return;
  }
  const m = /^\/mock\/art\/(.+)\.svg$/.exec(url.pathname);
  if (m) {
    res.writeHead(200, { "content-type": TYPES[".svg"], "cache-control": "max-age=3600" });
    res.end(cover(decodeURIComponent(m[1])));
    return;
  }
  const rel = url.pathname === "/" ? "index.html" : decodeURIComponent(url.pathname).replace(/^\/+/, "");
  const file = path.resolve(webRoot, rel);
  if (!file.startsWith(webRoot + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
    res.writeHead(404, { "content-type": "text/plain" });
    res.end("not found");
    return;
  }
  res.writeHead(200, { "content-type": TYPES[path.extname(file)] ?? "application/octet-stream", "cache-control": "no-cache" });
  fs.createReadStream(file).pipe(res);
});

class Socket {
  constructor(sock) {
    this.sock = sock;
    this.buf = Buffer.alloc(0);
    this.parts = [];
    sock.on("data", (d) => this.#data(d));
    sock.on("error", () => {});
  }

  sendText(text) {
    this.#frame(0x1, Buffer.from(text, "utf8"));
  }

  close(code) {
    const b = Buffer.alloc(2);
    b.writeUInt16BE(code);
    this.#frame(0x8, b);
    this.sock.end();
  }

  #frame(op, payload) {
    if (this.sock.destroyed) return;
    const n = payload.length;
    const head = n < 126 ? Buffer.from([0x80 | op, n]) : n < 65536 ? Buffer.alloc(4) : Buffer.alloc(10);
    if (n >= 126) {
      head[0] = 0x80 | op;
      if (n < 65536) {
        head[1] = 126;
        head.writeUInt16BE(n, 2);
      } else {
        head[1] = 127;
        head.writeBigUInt64BE(BigInt(n), 2);
      }
    }
    this.sock.write(Buffer.concat([head, payload]));
  }

  #data(d) {
    this.buf = Buffer.concat([this.buf, d]);
    for (;;) {
      if (this.buf.length < 2) return;
      const fin = this.buf[0] & 0x80;
      const op = this.buf[0] & 0x0f;
      let len = this.buf[1] & 0x7f;
      let off = 2;
      if (len === 126) {
        if (this.buf.length < 4) return;
        len = this.buf.readUInt16BE(2);
        off = 4;
      } else if (len === 127) {
        if (this.buf.length < 10) return;
        len = Number(this.buf.readBigUInt64BE(2));
        off = 10;
      }
      const masked = this.buf[1] & 0x80;
      const maskOff = off;
      if (masked) off += 4;
      if (this.buf.length < off + len) return;
      const payload = Buffer.from(this.buf.subarray(off, off + len));
      if (masked) for (let i = 0; i < len; i++) payload[i] ^= this.buf[maskOff + (i % 4)];
      this.buf = this.buf.subarray(off + len);
      if (op === 0x8) {
        this.sock.end();
        return;
      }
      if (op === 0x9) {
        this.#frame(0xa, payload);
        continue;
      }
      if (op === 0x1 || op === 0x0) {
        this.parts.push(payload);
        if (fin) {
          const text = Buffer.concat(this.parts).toString("utf8");
          this.parts = [];
          this.onText?.(text);
        }
      }
    }
  }
}

server.on("upgrade", (req, sock) => {
  if (new URL(req.url, "http://localhost").pathname !== "/bridge") {
    sock.destroy();
    return;
  }
  const accept = crypto.createHash("sha1").update(req.headers["sec-websocket-key"] + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11").digest("base64");
  sock.write(`HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Accept: ${accept}\r\n\r\n`);
  // A second page replaces the first, as the program does.
  if (client) client.close(4001);
  const ws = new Socket(sock);
  client = ws;
  ws.onText = (text) => {
    if (client === ws) onFrame(text);
  };
  sock.on("close", () => {
    if (client === ws) client = null;
  });
});

server.listen(port, "127.0.0.1", () => {
  console.log(`listening on http://127.0.0.1:${server.address().port}/`);
});
