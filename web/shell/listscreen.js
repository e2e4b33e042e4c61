// The simple list screens (favorite artists, similar artists, processing
// status, music profile): app.setList({title, items, selected, image,
// progress, actions, empty}); choosing an item sends itemDidSelect. The
// profile draws its items as a grid of shapes under the picture.
import { h, artwork, iconEl } from "./dom.js";
import { t } from "./strings.js";

const KIND_ICON = { favoriteArtists: "heart", processingStatus: "activity", similarArtists: "star", profile: "profile" };

export class ListView {
  constructor(ctx, screen) {
    this.ctx = ctx;
    this.channel = screen.channel;
    this.kind = screen.kind;
    this.title = screen.title;
    this.items = [];
    this.titleEl = h("h2.ls-title", { text: screen.title });
    this.actionsEl = h("div.ls-actions");
    this.imageEl = h("div.ls-image", { hidden: true });
    this.progressText = h("div.pl-progress-text");
    this.progressFill = h("div.bar-fill");
    this.progressEl = h("div.pl-progress.ls-progress", { hidden: true, role: "status" },
      h("div.spinner", { "aria-hidden": "true" }),
      h("div.pl-progress-body", {}, this.progressText, h("div.bar", {}, this.progressFill)));
    this.list = h("div.ls-items", { role: "list", "aria-label": screen.title });
    this.emptyText = h("p", { text: t("shell.list.empty") });
    this.emptyEl = h("div.pl-empty", { hidden: true }, iconEl(KIND_ICON[screen.kind] ?? "note"), this.emptyText);
    this.el = h("section.screen.list-screen", { "aria-label": screen.title, dataset: { kind: screen.kind } },
      h("div.ls-scroll", {},
        h("header.ls-header", {}, h("div.ls-badge", {}, iconEl(KIND_ICON[screen.kind] ?? "note")), this.titleEl, this.actionsEl),
        this.imageEl, this.progressEl, this.list, this.emptyEl));
    this.list.addEventListener("keydown", (e) => {
      const buttons = [...this.list.querySelectorAll(".ls-item")];
      const i = buttons.indexOf(document.activeElement);
      if (i < 0) return;
      let next = null;
      const grid = this.list.classList.contains("grid");
      if (e.key === "ArrowDown" || (grid && e.key === "ArrowRight")) next = Math.min(buttons.length - 1, i + 1);
      else if (e.key === "ArrowUp" || (grid && e.key === "ArrowLeft")) next = Math.max(0, i - 1);
      else if (e.key === "Home") next = 0;
      else if (e.key === "End") next = buttons.length - 1;
      if (next === null) return;
      e.preventDefault();
      buttons[next].focus();
    });
    this.app = { setList: (o) => this.setList(o) };
  }

  destroy() {}

  setTitle(title) {
    this.title = title;
    this.titleEl.textContent = title;
  }

  setList(o) {
    if (!o || typeof o !== "object") return;
    if (typeof o.title === "string") this.setTitle(o.title);
    this.items = Array.isArray(o.items) ? o.items : [];
    const focused = [...this.list.querySelectorAll(".ls-item")].indexOf(document.activeElement);

    this.actionsEl.replaceChildren(...(Array.isArray(o.actions) ? o.actions : []).map((label, index) =>
      h("button.pill-btn", { type: "button", onclick: () => this.ctx.bridge.request(this.channel, "listAction", { index }) }, label)));

    const p = o.progress && typeof o.progress === "object" ? o.progress : null;
    const image = typeof o.image === "string" && o.image ? o.image : null;
    this.imageEl.hidden = !image;
    if (image) {
      const current = this.imageEl.querySelector("img");
      if (!current || current.getAttribute("src") !== image) {
        const img = h("img", { src: image, alt: this.kind === "profile" ? t("shell.profile.picture") : this.title });
        img.classList.add("appearing");
        img.addEventListener("load", () => requestAnimationFrame(() => img.classList.remove("appearing")), { once: true });
        this.imageEl.replaceChildren(img);
      }
    }
    // The picture in place stays, dimmed, while the next one loads.
    this.imageEl.classList.toggle("loading", !!p);
    this.emptyText.textContent = typeof o.empty === "string" && o.empty ? o.empty : t("shell.list.empty");
    this.progressEl.hidden = !p;
    if (p) {
      this.progressText.textContent = p.text ?? "";
      const fraction = typeof p.fraction === "number" ? Math.max(0, Math.min(1, p.fraction)) : null;
      this.progressEl.classList.toggle("indeterminate", fraction === null);
      this.progressFill.style.width = fraction === null ? "" : `${fraction * 100}%`;
    }

    const children = [];
    let section;
    this.items.forEach((item, index) => {
      if (item.section !== undefined && item.section !== section) {
        section = item.section;
        if (section) children.push(h("h3.ls-section", { text: section }));
      }
      children.push(this.#item(item ?? {}, index, o.selected === index));
    });
    this.list.replaceChildren(...children);
    this.list.classList.toggle("grid", this.kind === "profile");
    if (this.kind === "profile") this.list.setAttribute("aria-label", t("shell.profile.shapes"));
    this.emptyEl.hidden = this.items.length > 0 || !!p;
    if (focused >= 0) this.list.querySelectorAll(".ls-item")[Math.min(focused, this.items.length - 1)]?.focus();
  }

  #item(item, index, selected) {
    const hasProgress = item.progress === true || typeof item.progress === "number";
    const round = this.kind === "favoriteArtists" || this.kind === "similarArtists";
    const art = item.artwork === undefined && !round
      ? h("div.art.ls-icon", {}, iconEl(KIND_ICON[this.kind] ?? "note"))
      : artwork(item.artwork, item.title ?? "", { round, initial: round });
    const bar = hasProgress
      ? h("div.bar" + (item.progress === true ? ".indeterminate" : ""), { role: "progressbar", "aria-valuemin": "0", "aria-valuemax": "100", "aria-valuenow": item.progress === true ? null : Math.round(item.progress * 100) },
        h("div.bar-fill", { style: { width: item.progress === true ? "" : `${Math.max(0, Math.min(1, item.progress)) * 100}%` } }))
      : null;
    return h("button.ls-item" + (selected ? ".selected" : ""), {
      type: "button",
      role: "listitem",
      "aria-current": selected ? "true" : null,
      onclick: () => this.ctx.bridge.request(this.channel, "itemDidSelect", { index }),
    }, art, h("div.ls-text", {},
      h("div.ls-item-title", { text: item.title ?? "" }),
      item.subtitle ? h("div.ls-item-sub", { text: item.subtitle }) : null,
      bar));
  }
}
