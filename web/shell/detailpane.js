// The track detail pane: the detail page in a frame, and above it the video
// area, a muted picture kept in step with the position the program sends
// (the sound comes from the program's own player).
import { FrameView } from "./frameview.js";
import { h, iconEl } from "./dom.js";
import { t } from "./strings.js";

const DRIFT = 0.75; // seconds the picture may drift before it is moved

export class DetailPane {
  constructor(ctx, root) {
    this.ctx = ctx;
    this.root = root;
    this.view = null;
    this.video = h("video", { muted: true, playsinline: true, preload: "auto", "aria-hidden": "true" });
    this.video.muted = true;
    this.videoArea = h("div.video-area", { hidden: true }, this.video, h("div.video-empty", {}, iconEl("video")));
    this.frameBox = h("div.detail-frame");
    // Over the page while the artist of a new track loads.
    this.loading = h("div.detail-loading", { hidden: true, role: "status" },
      h("div.spinner", { "aria-hidden": "true" }), h("span", { text: t("shell.detail.loading") }));
    this.frameBox.append(this.loading);
    root.append(this.videoArea, this.frameBox);
    this.videoState = { visible: false };
  }

  setDetail(o) {
    const valid = o && typeof o === "object" && typeof o.channel === "string" && o.src;
    if (this.view && (!valid || this.view.channel !== o.channel || this.view.src !== o.src)) {
      this.ctx.detach(this.view);
      this.view = null;
    }
    if (!valid) return;
    if (this.view) {
      this.ctx.revisit(this.view);
      return;
    }
    this.view = new FrameView(this.ctx, { channel: o.channel, kind: "detail", title: o.title ?? "", src: o.src }, "detail-page");
    this.ctx.attach(this.view);
    this.frameBox.replaceChildren(this.view.el, this.loading);
  }

  setLoading(on) {
    this.loading.hidden = !on;
    this.frameBox.classList.toggle("is-loading", !!on);
  }

  setVideo(o) {
    const v = o && typeof o === "object" ? o : { visible: false };
    this.videoState = v;
    this.videoArea.hidden = !v.visible;
    this.root.classList.toggle("with-video", !!v.visible);
    const url = typeof v.url === "string" && v.url ? v.url : null;
    this.videoArea.classList.toggle("no-source", !url);
    if (!url) {
      if (this.video.getAttribute("src")) {
        this.video.removeAttribute("src");
        this.video.load();
      }
      return;
    }
    if (this.video.getAttribute("src") !== url) this.video.src = url;
    const position = Number(v.position);
    if (Number.isFinite(position) && Math.abs(this.video.currentTime - position) > DRIFT) {
      try {
        this.video.currentTime = position;
      } catch {
        // Not seekable yet; the next position report moves it.
      }
    }
    if (v.playing && v.visible) this.video.play().catch(() => {});
    else this.video.pause();
  }
}
