// The main window: connects to the program, hands each channel's scripts to
// its view, and forwards what the listener does. No program logic lives here.
import { Bridge, runScript } from "./bridge.js";
import { loadStrings, strings, t, applyStrings } from "./strings.js";
import { icon } from "./icons.js";
import { isTextField } from "./dom.js";
import { Navigation } from "./navigation.js";
import { SideMenu } from "./sidemenu.js";
import { Search } from "./search.js";
import { ControlPanel } from "./controlpanel.js";
import { DetailPane } from "./detailpane.js";
import { Dialogs } from "./dialogs.js";
import { AppMenu } from "./appmenu.js";
import { FrameView } from "./frameview.js";
import { Welcome } from "./welcome.js";
import { Tips } from "./tips.js";

const $ = (id) => document.getElementById(id);

await loadStrings();
document.documentElement.lang = strings()["shell.lang"] ?? document.documentElement.lang;
applyStrings();
$("back").innerHTML = icon("back");
$("search-icon").innerHTML = icon("search");
$("detail-toggle").innerHTML = icon("panel");
$("detail-close").innerHTML = icon("close");
$("app-menu-icon").outerHTML = icon("settings");

const frames = new Map(); // channel -> FrameView, for the pages' load
let stale = new Set(); // views kept over a reconnect, to report "load" again

const bridge = new Bridge({
  onConnect: (isReconnect) => {
    if (isReconnect) stale = new Set([...nav.all(), ...(detail.view ? [detail.view] : [])]);
    // The welcome window sends its screen again when its channel loads.
    bridge.event("welcome", "load");
  },
  onStatus: (state) => showStatus(state),
});

const ctx = {
  bridge,
  // A view joins the window: its channel's scripts reach it, and a view the
  // shell draws is ready at once.
  attach(view) {
    if (view instanceof FrameView) {
      frames.set(view.channel, view);
      bridge.register(view.channel, (script) => view.run(script));
    } else {
      bridge.register(view.channel, (script) => runScript(script, view.app));
      bridge.event(view.channel, "load");
    }
  },
  detach(view) {
    bridge.unregister(view.channel);
    if (frames.get(view.channel) === view) frames.delete(view.channel);
    stale.delete(view);
    view.destroy?.();
    view.el.remove();
  },
  // A view the program lists again after a reconnect sends its content again.
  revisit(view) {
    if (!stale.has(view)) return;
    stale.delete(view);
    if (!(view instanceof FrameView) || view.ready) bridge.event(view.channel, "load");
  },
  attachScripted(channel, app) {
    bridge.register(channel, (script) => runScript(script, app));
    bridge.event(channel, "load");
  },
  detachScripted(channel) {
    bridge.unregister(channel);
  },
  openDetail() {
    setDrawer(true);
  },
};

const nav = new Navigation(ctx, $("stack"), $("modal"), () => updateTop());
const sideMenu = new SideMenu(bridge, $("side-list"));
const search = new Search(bridge, $("search-input"), $("search-popover"));
const panel = new ControlPanel(bridge, $("panel"));
const detail = new DetailPane(ctx, $("detail-body"));
const dialogs = new Dialogs(ctx, $("dialog-layer"));
const appMenu = new AppMenu(bridge, $("app-menu-button"), $("app-menu"));
const tips = new Tips($("tip-layer"));

const main = {
  setSideMenu: (items, selected) => sideMenu.set(items, selected),
  setStack: (screens) => nav.setStack(screens),
  setModal: (screen) => nav.setModal(screen),
  setControlPanel: (o) => panel.setState(o),
  setPlaybackTime: (o) => panel.setTime(o),
  setPlayHighlight: (on) => panel.setHighlight(on),
  setSearch: (o) => search.set(o),
  showAlert: (o) => dialogs.showAlert(o, "main"),
  closeAlert: (id) => dialogs.closeAlert(id, "main"),
  setDetail: (o) => detail.setDetail(o),
  setDetailLoading: (on) => detail.setLoading(on === true),
  setVideo: (o) => {
    detail.setVideo(o);
    if (o?.visible) setDrawer(true, false);
  },
  setMenu: (o) => appMenu.set(o),
  showSheet: (o) => dialogs.showSheet(o),
  closeSheet: () => dialogs.closeSheet("main"),
  showInstruction: (o) => tips.show(o),
};
bridge.register("main", (script) => runScript(script, main));

// The welcome window over everything but the dialogs; the main window
// behind it takes no focus while it shows.
const welcome = new Welcome(ctx, $("welcome-flow"), dialogs, (shown) => {
  $("app").inert = shown;
  updateTop();
});
bridge.register("welcome", (script) => runScript(script, welcome.app));

// What framed pages (home, track detail) use: parent.mireluneBridge.
window.mireluneBridge = Object.freeze({
  strings: strings(),
  t,
  // A request ("app://name?k=v") or a followed link of the frame's channel.
  send(channel, url) {
    bridge.url(String(channel), String(url));
  },
  // The frame's window.app is ready: scripts that waited run, and the
  // program hears "load".
  load(channel) {
    frames.get(String(channel))?.pageDidLoad();
    bridge.event(String(channel), "load");
  },
  // A key the frame hands over (only the space bar: code 32).
  key(type, code) {
    if ((type === "keyDown" || type === "keyUp") && code === 32) bridge.request("main", type, { code });
  },
});

// --- top bar ---

$("back").addEventListener("click", () => bridge.request("main", "navigateBack"));

function updateTop() {
  const top = nav.top;
  $("top-title").textContent = top?.title ?? "";
  document.title = top?.title ? `${top.title} — Mirelune` : "Mirelune";
  $("back").disabled = !!nav.modal || nav.stack.length < 2;
  $("welcome").hidden = !!top || !bridge.connected;
  $("welcome").classList.toggle("connected", bridge.connected);
}

function showStatus(state) {
  const conn = $("conn");
  conn.hidden = state === "open";
  conn.className = `conn ${state}`;
  if (state === "replaced") {
    conn.replaceChildren(t("shell.conn.replaced") + " ");
    const again = document.createElement("button");
    again.type = "button";
    again.className = "link-btn";
    again.textContent = t("shell.conn.reconnect");
    again.addEventListener("click", () => bridge.start());
    conn.append(again);
  } else {
    conn.textContent = t(state === "connecting" ? "shell.conn.connecting" : "shell.conn.lost");
  }
  updateTop();
}

// --- the detail drawer (narrow windows) ---

const narrow = window.matchMedia("(max-width: 1099px)");
function setDrawer(open, focus = true) {
  const isOpen = open && narrow.matches;
  document.body.classList.toggle("drawer-open", isOpen);
  $("drawer-scrim").hidden = !isOpen;
  $("detail-toggle").setAttribute("aria-expanded", String(isOpen));
  $("detail").inert = narrow.matches && !isOpen;
  if (isOpen && focus) $("detail-close").focus();
}
$("detail-toggle").addEventListener("click", () => setDrawer(!document.body.classList.contains("drawer-open")));
$("detail-close").addEventListener("click", () => {
  setDrawer(false);
  $("detail-toggle").focus();
});
$("drawer-scrim").addEventListener("click", () => setDrawer(false));
narrow.addEventListener("change", () => setDrawer(false));
setDrawer(false);
document.addEventListener("keydown", (e) => {
  if (e.key === "Escape" && document.body.classList.contains("drawer-open") && $("dialog-layer").hidden) {
    setDrawer(false);
    $("detail-toggle").focus();
  }
});

// --- the space bar plays and pauses; it never scrolls ---

function spaceHandler(type) {
  return (e) => {
    if (e.key !== " " || isTextField(e.target) || !$("dialog-layer").hidden || welcome.visible) return;
    e.preventDefault();
    if (type === "keyDown" && e.repeat) return;
    bridge.request("main", type, { code: 32 });
  };
}
window.addEventListener("keydown", spaceHandler("keyDown"), true);
window.addEventListener("keyup", spaceHandler("keyUp"), true);

updateTop();
bridge.start();
