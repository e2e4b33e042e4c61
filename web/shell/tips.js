// The first-run tips: a card above the control panel, one at a time, that
// leaves the window usable behind it. The program decides when each comes.
import { h } from "./dom.js";
import { icon } from "./icons.js";
import { t } from "./strings.js";

const ICONS = { welcome: "note", playbackControl: "play", caching: "download", musicProfile: "profile" };

export class Tips {
  constructor(layer) {
    this.layer = layer;
    this.waiting = [];
    this.card = null;
  }

  show(o) {
    const kind = o?.kind;
    if (!Object.hasOwn(ICONS, kind)) return;
    if (this.card?.dataset.kind === kind || this.waiting.includes(kind)) return;
    if (this.card) this.waiting.push(kind);
    else this.#open(kind);
  }

  #open(kind) {
    const titleId = `tip-title-${kind}`;
    const done = h("button.dlg-btn.default.tip-done", { type: "button", onclick: () => this.#close() },
      t("shell.tip.done"));
    this.card = h("section.tip", { role: "dialog", "aria-modal": "false", "aria-labelledby": titleId,
      dataset: { kind } },
      h("span.tip-icon", { html: icon(ICONS[kind]), "aria-hidden": "true" }),
      h("div.tip-text", {},
        h("div.tip-eyebrow", { text: t("shell.tip.label") }),
        h("h2.tip-title", { id: titleId, text: t(`shell.tip.${kind}.title`) }),
        h("p.tip-body", { text: t(`shell.tip.${kind}.body`) })),
      h("div.tip-buttons", {}, done));
    this.card.addEventListener("keydown", (e) => {
      if (e.key === "Escape") {
        e.preventDefault();
        this.#close();
      }
    });
    this.layer.append(this.card);
  }

  #close() {
    const hadFocus = this.card?.contains(document.activeElement);
    this.card?.remove();
    this.card = null;
    const next = this.waiting.shift();
    if (next) {
      this.#open(next);
      if (hadFocus) this.card.querySelector("button")?.focus();
    }
  }
}
