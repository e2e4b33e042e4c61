// A playlist screen drawn by the shell: rows of a fixed height, so a mix that
// grows never moves what the listener is looking at.
import { h, artwork, setArtwork, iconEl } from "./dom.js";
import { t } from "./strings.js";

const ROW_HEIGHT = 72;
const MENU_ACTIONS = [
  ["info", "info"],
  ["action", "share"],
  ["favorite", "heart"],
  ["favorited", "heartFill"],
  ["trash", "trash"],
  ["cache", "download"],
  ["uncache", "uncache"],
  ["comment", "comment"],
];

export class PlaylistView {
  constructor(ctx, screen) {
    this.ctx = ctx;
    this.channel = screen.channel;
    this.kind = screen.kind;
    this.title = screen.title;
    this.rows = []; // {data, el}
    this.playingRow = null;
    this.playState = "none";
    this.revealedRow = null;
    this.focusMenuOnReveal = false;
    this.mixKind = "";

    this.titleEl = h("h2.pl-title", { text: screen.title });
    this.kindEl = h("div.pl-kind");
    this.countEl = h("div.pl-count");
    this.mosaic = h("div.pl-mosaic", { "aria-hidden": "true" });
    this.header = h("header.pl-header", {}, this.mosaic, h("div.pl-heading", {}, this.kindEl, this.titleEl, this.countEl));
    this.list = h("div.pl-rows", { role: "list", "aria-label": screen.title });
    this.progressText = h("div.pl-progress-text");
    this.progressFill = h("div.bar-fill");
    this.progressEl = h("div.pl-progress", { hidden: true, role: "status" },
      h("div.spinner", { "aria-hidden": "true" }),
      h("div.pl-progress-body", {}, this.progressText, h("div.bar", {}, this.progressFill)));
    this.emptyEl = h("div.pl-empty", { hidden: true }, iconEl("note"), h("p", { text: t("shell.playlist.empty") }));
    this.scroller = h("div.pl-scroll", {}, this.header, this.list, this.progressEl, this.emptyEl);
    this.el = h("section.screen.playlist-screen", { "aria-label": screen.title }, this.scroller);
    this.el.style.setProperty("--row-h", `${ROW_HEIGHT}px`);

    this.list.addEventListener("keydown", (e) => this.#onKey(e));
    this.onOutside = (e) => {
      if (this.revealedRow && !this.revealedRow.el.contains(e.target)) this.#closeMenu(false);
    };
    document.addEventListener("pointerdown", this.onOutside, true);

    this.app = {
      setPlaylist: (o) => this.setPlaylist(o),
      insertRow: (i, row) => this.insertRow(i, row),
      updateRow: (i, row) => this.updateRow(i, row),
      removeRows: (indexes) => this.removeRows(indexes),
      setProgress: (p) => this.setProgress(p),
      setPlaying: (index, state) => this.setPlaying(index, state),
      revealMenu: (index, buttons) => this.revealMenu(index, buttons),
      setCacheProgress: (index, fraction) => this.setCacheProgress(index, fraction),
      scrollToRow: (index) => this.scrollToRow(index),
    };
    this.#updateChrome();
  }

  destroy() {
    document.removeEventListener("pointerdown", this.onOutside, true);
  }

  setTitle(title) {
    this.title = title;
    this.titleEl.textContent = title;
    this.list.setAttribute("aria-label", title);
  }

  // --- program calls ---

  setPlaylist(o) {
    if (!o || typeof o !== "object") return;
    const scrollTop = this.scroller.scrollTop;
    if (typeof o.title === "string") this.setTitle(o.title);
    this.mixKind = o.kind ?? "";
    this.revealedRow = null;
    this.rows = (Array.isArray(o.rows) ? o.rows : []).map((data) => this.#makeRow(data));
    this.list.replaceChildren(...this.rows.map((r) => r.el));
    this.playState = o.playState ?? "none";
    this.playingRow = Number.isInteger(o.playing) ? this.rows[o.playing] ?? null : null;
    this.rows.forEach((r) => this.#drawPlayState(r));
    this.setProgress(o.progress ?? null);
    this.scroller.scrollTop = scrollTop;
    this.#updateChrome();
  }

  insertRow(i, data) {
    const index = Math.max(0, Math.min(this.rows.length, Number(i) | 0));
    const row = this.#makeRow(data);
    const before = this.rows[index];
    // A row added above what is on screen pushes the content down by exactly
    // one row: scroll by as much so nothing visible moves.
    const above = before ? before.el.offsetTop < this.scroller.scrollTop + 1 : false;
    this.list.insertBefore(row.el, before ? before.el : null);
    this.rows.splice(index, 0, row);
    if (above) this.scroller.scrollTop += ROW_HEIGHT;
    this.#drawPlayState(row);
    this.#updateChrome(index < 4);
  }

  updateRow(i, data) {
    const row = this.rows[i];
    if (!row || !data) return;
    const hadFocus = row.el.contains(document.activeElement) ? document.activeElement.className : null;
    row.data = data;
    this.#fillRow(row);
    this.#drawPlayState(row);
    if (this.revealedRow === row && this.lastButtons) this.#drawMenu(row, this.lastButtons);
    if (hadFocus) row.el.querySelector("." + hadFocus.split(" ")[0])?.focus();
    if (i < 4) this.#updateMosaic();
  }

  removeRows(indexes) {
    if (!Array.isArray(indexes)) return;
    const doomed = [...new Set(indexes.filter((i) => Number.isInteger(i) && this.rows[i]))].sort((a, b) => b - a);
    let shift = 0;
    const focusIndex = this.rows.findIndex((r) => r.el.contains(document.activeElement));
    for (const i of doomed) {
      const row = this.rows[i];
      if (row.el.offsetTop + ROW_HEIGHT <= this.scroller.scrollTop) shift += ROW_HEIGHT;
      if (row === this.playingRow) this.playingRow = null;
      if (row === this.revealedRow) this.revealedRow = null;
      row.el.remove();
      this.rows.splice(i, 1);
    }
    this.scroller.scrollTop -= shift;
    if (focusIndex >= 0 && doomed.includes(focusIndex)) {
      const next = this.rows[Math.min(focusIndex, this.rows.length - 1)];
      next?.el.querySelector(".row-main").focus();
    }
    this.#updateChrome(true);
  }

  setProgress(p) {
    const on = p && typeof p === "object";
    this.progressEl.hidden = !on;
    if (on) {
      this.progressText.textContent = p.text ?? "";
      const fraction = typeof p.fraction === "number" ? Math.max(0, Math.min(1, p.fraction)) : null;
      this.progressEl.classList.toggle("indeterminate", fraction === null);
      this.progressFill.style.width = fraction === null ? "" : `${fraction * 100}%`;
    }
    this.#updateChrome();
  }

  setPlaying(index, state) {
    const previous = this.playingRow;
    this.playingRow = Number.isInteger(index) ? this.rows[index] ?? null : null;
    this.playState = state ?? "none";
    if (previous && previous !== this.playingRow) this.#drawPlayState(previous);
    if (this.playingRow) this.#drawPlayState(this.playingRow);
  }

  revealMenu(index, buttons) {
    const row = Number.isInteger(index) ? this.rows[index] : null;
    if (this.revealedRow && this.revealedRow !== row) this.#removeMenu(this.revealedRow);
    this.revealedRow = row;
    this.lastButtons = buttons ?? {};
    if (!row) return;
    this.#drawMenu(row, this.lastButtons);
    if (this.focusMenuOnReveal) row.el.querySelector(".row-menu button")?.focus();
    this.focusMenuOnReveal = false;
  }

  setCacheProgress(index, fraction) {
    const row = this.rows[index];
    if (!row) return;
    const bar = row.el.querySelector(".row-cache");
    const on = typeof fraction === "number";
    bar.hidden = !on;
    if (on) bar.firstChild.style.width = `${Math.max(0, Math.min(1, fraction)) * 100}%`;
  }

  scrollToRow(index) {
    const row = this.rows[index];
    if (!row) return;
    const top = row.el.offsetTop - (this.scroller.clientHeight - ROW_HEIGHT) / 2;
    this.scroller.scrollTo({ top: Math.max(0, top), behavior: "smooth" });
  }

  // --- drawing ---

  #makeRow(data) {
    const row = { data: data ?? {}, el: h("div.row", { role: "listitem" }) };
    row.el.addEventListener("contextmenu", (e) => {
      e.preventDefault();
      this.#openMenu(row);
    });
    this.#fillRow(row);
    // The listener's first row ever: its play indicator flashes a few times.
    if (data?.flushPlayableIndicator === true) {
      row.el.classList.add("flush-play");
      row.el.addEventListener("animationend", (e) => {
        if (e.animationName === "flush-play") row.el.classList.remove("flush-play");
      });
    }
    return row;
  }

  #fillRow(row) {
    const d = row.data;
    const title = d.title ?? "";
    const artist = d.artist ?? "";
    const art = artwork(d.artwork, artist || title, { cls: "row-art" });
    art.append(h("div.play-ind", { "aria-hidden": "true" }));
    const main = h("button.row-main", {
      type: "button",
      "aria-label": artist ? `${title} — ${artist}` : title,
      onclick: () => this.ctx.bridge.request(this.channel, "rowDidSelect", { index: this.#indexOf(row) }),
    }, art, h("div.row-text", {},
      h("div.row-title", { text: title }),
      h("div.row-artist", { text: artist }),
      d.reason ? h("div.row-reason", { text: d.reason }) : null));

    const marks = h("div.row-marks", {});
    if (d.favorite) marks.append(h("span.mark.fav", { title: t("shell.row.favorite"), "aria-label": t("shell.row.favorite") }, iconEl("heartFill")));
    if (d.cached) marks.append(h("span.mark.cached", { title: t("shell.row.cached"), "aria-label": t("shell.row.cached") }, iconEl("downloaded")));

    const sources = h("div.row-sources", {});
    for (const source of Array.isArray(d.sources) ? d.sources : []) {
      const id = Number(source?.id);
      const label = source?.label || t(`shell.source.${id}`);
      if (id === 10 || id === 20) {
        sources.append(h(`button.source-btn.src-${id}`, {
          type: "button",
          title: label,
          "aria-label": `${label}: ${title}`,
          onclick: () => this.ctx.bridge.request(this.channel, "sourceButton", { index: this.#indexOf(row), sourceId: id }),
        }, iconEl(id === 10 ? "bag" : "video"), h("span", { text: label })));
      } else {
        sources.append(h("span.source-badge", { text: label, title: label }));
      }
    }
    const more = h("button.row-more.icon-btn", {
      type: "button",
      "aria-label": t("shell.row.more"),
      title: t("shell.row.more"),
      "aria-haspopup": "menu",
      "aria-expanded": "false",
      onclick: () => (this.revealedRow === row ? this.#closeMenu(true) : this.#openMenu(row)),
    }, iconEl("more"));
    const cache = h("div.row-cache", { hidden: true, "aria-hidden": "true" }, h("div"));
    row.el.replaceChildren(main, h("div.row-side", {}, marks, sources, more), cache);
  }

  #drawPlayState(row) {
    const playing = row === this.playingRow && this.playState !== "none";
    row.el.classList.toggle("is-current", playing);
    for (const s of ["loading", "playing", "paused"]) row.el.classList.toggle(`is-${s}`, playing && this.playState === s);
    const main = row.el.querySelector(".row-main");
    if (playing) main.setAttribute("aria-current", "true");
    else main.removeAttribute("aria-current");
  }

  #drawMenu(row, buttons) {
    this.#removeMenu(row, true);
    const menu = h("div.row-menu", { role: "menu", "aria-label": t("shell.row.more") });
    for (const [action, iconName] of MENU_ACTIONS) {
      const always = action === "info" || action === "action" || action === "comment";
      if (!always && !buttons[action]) continue;
      const label = t(`shell.menu.${action}`);
      menu.append(h(`button.menu-btn.act-${action}`, {
        type: "button",
        role: "menuitem",
        title: label,
        onclick: () => {
          const index = this.#indexOf(row);
          this.ctx.bridge.request(this.channel, "rowAction", { index, action });
          if (action === "info") this.ctx.openDetail?.();
        },
      }, iconEl(iconName), h("span", { text: label })));
    }
    menu.append(h("button.menu-btn.menu-close", {
      type: "button", role: "menuitem", title: t("shell.close"), "aria-label": t("shell.close"),
      onclick: () => this.#closeMenu(true),
    }, iconEl("close")));
    menu.addEventListener("keydown", (e) => {
      const items = [...menu.querySelectorAll("button")];
      const i = items.indexOf(document.activeElement);
      if (e.key === "Escape") {
        e.preventDefault();
        e.stopPropagation();
        this.#closeMenu(true);
      } else if (e.key === "ArrowRight" || e.key === "ArrowLeft") {
        e.preventDefault();
        e.stopPropagation();
        const next = (i + (e.key === "ArrowRight" ? 1 : -1) + items.length) % items.length;
        items[next].focus();
      } else if (e.key === "ArrowUp" || e.key === "ArrowDown") {
        e.stopPropagation();
      }
    });
    row.el.append(menu);
    row.el.classList.add("menu-open");
    row.el.querySelector(".row-more").setAttribute("aria-expanded", "true");
  }

  #removeMenu(row, keepState = false) {
    row.el.querySelector(".row-menu")?.remove();
    if (keepState) return;
    row.el.classList.remove("menu-open");
    row.el.querySelector(".row-more")?.setAttribute("aria-expanded", "false");
  }

  #openMenu(row) {
    this.focusMenuOnReveal = true;
    this.ctx.bridge.request(this.channel, "menuDidOpen", { index: this.#indexOf(row) });
  }

  #closeMenu(refocus) {
    const row = this.revealedRow;
    if (!row) return;
    const hadFocus = row.el.contains(document.activeElement);
    this.#removeMenu(row);
    this.revealedRow = null;
    this.ctx.bridge.request(this.channel, "menuDidClose");
    if (refocus || hadFocus) row.el.querySelector(".row-more")?.focus();
  }

  #onKey(e) {
    const index = this.rows.findIndex((r) => r.el.contains(document.activeElement));
    if (index < 0) return;
    let next = null;
    if (e.key === "ArrowDown") next = index + 1;
    else if (e.key === "ArrowUp") next = index - 1;
    else if (e.key === "Home") next = 0;
    else if (e.key === "End") next = this.rows.length - 1;
    else if (e.key === "ContextMenu" || (e.key === "F10" && e.shiftKey)) {
      e.preventDefault();
      this.#openMenu(this.rows[index]);
      return;
    } else if (e.key === "Escape" && this.revealedRow) {
      e.preventDefault();
      this.#closeMenu(true);
      return;
    }
    if (next === null) return;
    e.preventDefault();
    const row = this.rows[Math.max(0, Math.min(this.rows.length - 1, next))];
    row.el.querySelector(".row-main").focus({ preventScroll: true });
    row.el.scrollIntoView({ block: "nearest" });
  }

  #indexOf(row) {
    return this.rows.indexOf(row);
  }

  #updateChrome(mosaic = true) {
    this.kindEl.textContent = this.mixKind ? t(`shell.mix.${this.mixKind}`) : t("shell.mix.playlist");
    this.countEl.textContent = t(this.rows.length === 1 ? "shell.trackCount.one" : "shell.trackCount", this.rows.length);
    this.emptyEl.hidden = this.rows.length > 0 || !this.progressEl.hidden;
    if (mosaic) this.#updateMosaic();
  }

  #updateMosaic() {
    const cells = [0, 1, 2, 3].map((i) => this.rows[i % Math.max(1, this.rows.length)]?.data);
    if (this.mosaic.children.length !== 4) this.mosaic.replaceChildren(...cells.map(() => artwork(null, "", { lazy: false })));
    cells.forEach((d, i) => setArtwork(this.mosaic.children[i], d?.artwork, d?.artist || this.title, { lazy: false }));
  }
}
