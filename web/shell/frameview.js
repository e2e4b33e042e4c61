// A screen whose page lives under web/ in a frame (the home page, the track
// detail). Scripts run in the frame's window with its own window.app; those
// that come before the page said "load" wait for it.
import { h } from "./dom.js";
import { runScript } from "./bridge.js";

export class FrameView {
  constructor(ctx, screen, cls = "screen frame-screen") {
    this.ctx = ctx;
    this.channel = screen.channel;
    this.kind = screen.kind;
    this.title = screen.title ?? "";
    this.src = screen.src;
    this.ready = false;
    this.pending = [];
    this.frame = h("iframe", { title: this.title, src: FrameView.frameSrc(screen.src, screen.channel) });
    this.el = h("section", { class: cls, "aria-label": this.title }, this.frame);
    this.frame.addEventListener("load", () => {
      // A page that navigated away from ours (or failed) never says "load".
      try {
        if (!this.frame.contentWindow.app) this.ready = false;
      } catch {
        this.ready = false;
      }
    });
  }

  static frameSrc(src, channel) {
    const url = new URL(String(src ?? ""), document.baseURI);
    if (!url.searchParams.has("channel")) url.searchParams.set("channel", channel);
    return url.pathname + url.search + url.hash;
  }

  // The page called mireluneBridge.load(channel).
  pageDidLoad() {
    this.ready = true;
    const pending = this.pending;
    this.pending = [];
    pending.forEach((script) => this.run(script));
  }

  run(script) {
    if (!this.ready) {
      this.pending.push(script);
      return;
    }
    const w = this.frame.contentWindow;
    if (!w) return;
    runScript(script, w.app, w.Function);
  }

  setTitle(title) {
    this.title = title;
    this.frame.title = title;
  }

  destroy() {
    this.frame.src = "about:blank";
  }
}
