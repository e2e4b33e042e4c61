// The control panel at the bottom: the current track, the transport buttons,
// the position bar and the video toggle.
import { h, artwork, setArtwork, iconEl, formatTime } from "./dom.js";
import { t } from "./strings.js";

export class ControlPanel {
  constructor(bridge, root) {
    this.bridge = bridge;
    this.state = { state: "none" };
    this.time = { position: 0, duration: 0, loaded: [], buffering: false };
    const send = (action, extra = {}) => bridge.request("main", "controlPanel", { action, ...extra });

    this.art = artwork(null, "", { cls: "cp-art", lazy: false });
    this.titleEl = h("div.cp-title");
    this.artistEl = h("div.cp-artist");
    this.sourceEl = h("span.cp-source", { hidden: true });
    this.trackBtn = h("button.cp-track", { type: "button", onclick: () => send("currentTrack") },
      this.art, h("div.cp-text", {}, this.titleEl, h("div.cp-sub", {}, this.sourceEl, this.artistEl)));

    this.prevBtn = h("button.icon-btn.cp-prev", { type: "button", onclick: () => send("backward") }, iconEl("prev"));
    this.playBtn = h("button.cp-play", { type: "button", onclick: () => send("play") }, iconEl("play"));
    this.nextBtn = h("button.icon-btn.cp-next", { type: "button", onclick: () => send("forward") }, iconEl("next"));
    this.posEl = h("span.cp-time", { text: "0:00" });
    this.durEl = h("span.cp-time", { text: "0:00" });
    this.loadedEl = h("div.cp-loaded");
    this.playedEl = h("div.cp-played");
    this.knob = h("div.cp-knob");
    this.bar = h("div.cp-bar", { role: "slider", tabindex: "0", "aria-valuemin": "0" },
      h("div.cp-track-bg", {}, this.loadedEl, this.playedEl), this.knob);
    this.imageBtn = h("button.icon-btn.cp-image", { type: "button", onclick: () => send("image") }, iconEl("video"));

    const seekTo = (clientX) => {
      const d = this.time.duration;
      if (!(d > 0) || this.state.state === "none") return;
      const r = this.bar.getBoundingClientRect();
      const f = Math.max(0, Math.min(1, (clientX - r.left) / r.width));
      send("seek", { position: (f * d).toFixed(2) });
    };
    this.bar.addEventListener("click", (e) => seekTo(e.clientX));
    this.bar.addEventListener("keydown", (e) => {
      const step = { ArrowRight: 5, ArrowLeft: -5, PageUp: 15, PageDown: -15 }[e.key];
      if (step === undefined || !(this.time.duration > 0)) return;
      e.preventDefault();
      const p = Math.max(0, Math.min(this.time.duration, this.time.position + step));
      send("seek", { position: p.toFixed(2) });
    });

    root.append(this.trackBtn,
      h("div.cp-center", {},
        h("div.cp-buttons", {}, this.prevBtn, this.playBtn, this.nextBtn),
        h("div.cp-timeline", {}, this.posEl, this.bar, this.durEl)),
      h("div.cp-right", {}, this.imageBtn));
    this.root = root;
    this.setState({ state: "none" });
    this.setTime(this.time);
  }

  setState(o) {
    this.state = o && typeof o === "object" ? o : { state: "none" };
    const s = this.state;
    const none = !s.state || s.state === "none";
    this.root.classList.toggle("idle", none);
    this.root.dataset.state = s.state ?? "none";
    this.titleEl.textContent = none && !s.title ? t("shell.panel.notPlaying") : s.title ?? "";
    this.artistEl.textContent = s.artist ?? "";
    setArtwork(this.art, s.artwork, s.artist || s.title || "", { lazy: false });
    this.sourceEl.hidden = !s.source;
    this.sourceEl.textContent = s.source ?? "";
    this.sourceEl.className = `cp-source src-${s.sourceId ?? ""}`;
    this.trackBtn.disabled = none;
    this.trackBtn.setAttribute("aria-label", none ? t("shell.panel.notPlaying") : t("shell.panel.showCurrent", s.title ?? "", s.artist ?? ""));
    this.trackBtn.title = none ? "" : t("shell.panel.showCurrentShort");
    const playing = s.state === "playing" || s.state === "loading";
    this.playBtn.replaceChildren(iconEl(playing ? "pause" : "play"));
    this.playBtn.setAttribute("aria-label", t(playing ? "shell.panel.pause" : "shell.panel.play"));
    this.playBtn.title = t(playing ? "shell.panel.pause" : "shell.panel.play");
    this.playBtn.classList.toggle("loading", s.state === "loading");
    this.prevBtn.disabled = !s.canBackward;
    this.nextBtn.disabled = !s.canForward;
    this.prevBtn.setAttribute("aria-label", t("shell.panel.backward"));
    this.prevBtn.title = t("shell.panel.backward");
    this.nextBtn.setAttribute("aria-label", t("shell.panel.forward"));
    this.nextBtn.title = t("shell.panel.forward");
    // The button shows the video symbol exactly when the video is hidden.
    this.imageBtn.replaceChildren(iconEl(s.videoVisible ? "image" : "video"));
    const label = t(s.videoVisible ? "shell.panel.hideVideo" : "shell.panel.showVideo");
    this.imageBtn.setAttribute("aria-label", label);
    this.imageBtn.title = label;
    this.imageBtn.setAttribute("aria-pressed", String(!!s.videoVisible));
    this.bar.setAttribute("aria-label", t("shell.panel.position"));
    this.setTime(this.time);
  }

  setTime(o) {
    if (!o || typeof o !== "object") return;
    this.time = {
      position: Number(o.position) || 0,
      duration: Number(o.duration) || 0,
      loaded: Array.isArray(o.loaded) ? o.loaded : [],
      buffering: !!o.buffering,
    };
    const { position, duration, loaded, buffering } = this.time;
    const none = !this.state.state || this.state.state === "none";
    const f = duration > 0 ? Math.max(0, Math.min(1, position / duration)) : 0;
    this.playedEl.style.width = `${f * 100}%`;
    this.knob.style.left = `${f * 100}%`;
    this.posEl.textContent = none ? "" : formatTime(position);
    this.durEl.textContent = none ? "" : formatTime(duration);
    this.loadedEl.replaceChildren(...loaded.filter((r) => Array.isArray(r) && duration > 0).map(([a, b]) => {
      const s = Math.max(0, Math.min(1, a / duration));
      const e = Math.max(s, Math.min(1, b / duration));
      return h("div.cp-range", { style: { left: `${s * 100}%`, width: `${(e - s) * 100}%` } });
    }));
    this.bar.classList.toggle("buffering", buffering && !none);
    this.bar.setAttribute("aria-valuemax", String(Math.round(duration)));
    this.bar.setAttribute("aria-valuenow", String(Math.round(position)));
    this.bar.setAttribute("aria-valuetext", `${formatTime(position)} / ${formatTime(duration)}${buffering ? " · " + t("shell.panel.buffering") : ""}`);
    this.root.classList.toggle("buffering", buffering && !none);
  }

  setHighlight(on) {
    this.playBtn.classList.toggle("pressed", !!on);
  }
}
