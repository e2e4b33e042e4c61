// Alerts, action sheets and the comment sheet: modal dialogs that keep the
// focus inside until they close, and give it back where it was.
import { h, artwork, setArtwork } from "./dom.js";
import { t } from "./strings.js";

function focusables(root) {
  return [...root.querySelectorAll("button, input, textarea, select, [tabindex]:not([tabindex='-1'])")]
    .filter((el) => !el.disabled && !el.hidden && el.offsetParent !== null);
}

class Modal {
  constructor(layer, { cls, labelledBy, onCancel, onBackdrop }) {
    this.returnFocus = document.activeElement;
    this.box = h(`div.dialog.${cls}`, { role: "alertdialog", "aria-modal": "true", "aria-labelledby": labelledBy });
    this.el = h("div.dialog-scrim", {}, this.box);
    this.el.addEventListener("pointerdown", (e) => {
      if (e.target === this.el && onBackdrop) onBackdrop();
    });
    this.el.addEventListener("keydown", (e) => {
      if (e.key === "Escape") {
        e.preventDefault();
        e.stopPropagation();
        onCancel();
      } else if (e.key === "Tab") {
        const items = focusables(this.box);
        if (!items.length) return e.preventDefault();
        const i = items.indexOf(document.activeElement);
        if (e.shiftKey && (i <= 0)) {
          e.preventDefault();
          items.at(-1).focus();
        } else if (!e.shiftKey && (i === items.length - 1 || i < 0)) {
          e.preventDefault();
          items[0].focus();
        }
      }
    });
    layer.append(this.el);
    layer.hidden = false;
    this.layer = layer;
  }

  close() {
    this.el.remove();
    this.layer.hidden = this.layer.children.length === 0;
    const top = this.layer.lastElementChild;
    if (top) focusables(top)[0]?.focus();
    else if (this.returnFocus?.isConnected) this.returnFocus.focus({ preventScroll: true });
  }
}

let nextId = 1;

export class Dialogs {
  constructor(ctx, layer) {
    this.ctx = ctx;
    this.layer = layer;
    this.alerts = new Map();
    this.sheet = null;
    // Focus may not leave an open dialog (clicks on the window behind it).
    document.addEventListener("focusin", (e) => {
      const top = this.layer.lastElementChild;
      if (top && !top.contains(e.target)) focusables(top)[0]?.focus();
    });
  }

  showAlert(o) {
    if (!o || typeof o !== "object") return;
    const id = o.id;
    this.closeAlert(id);
    const buttons = Array.isArray(o.buttons) && o.buttons.length ? o.buttons : [t("shell.ok")];
    const cancel = Number.isInteger(o.cancel) && o.cancel >= 0 && o.cancel < buttons.length ? o.cancel : -1;
    const destructive = Number.isInteger(o.destructive) ? o.destructive : -1;
    const titleId = `dlg-${nextId++}`;
    const end = (button) => {
      if (!this.alerts.has(id)) return;
      this.closeAlert(id);
      this.ctx.bridge.request("main", "alertDidEnd", { id, button });
    };
    const modal = new Modal(this.layer, {
      cls: o.sheet ? "action-sheet" : "alert",
      labelledBy: titleId,
      onCancel: () => end(cancel >= 0 ? cancel : -1),
      onBackdrop: o.sheet ? () => end(cancel >= 0 ? cancel : -1) : null,
    });
    const order = buttons.map((label, index) => ({ label, index }));
    // Cancel sits apart: last in a sheet, first of the row in an alert.
    const others = order.filter((b) => b.index !== cancel);
    const cancelBtn = order.find((b) => b.index === cancel);
    const laid = o.sheet ? [...others, ...(cancelBtn ? [cancelBtn] : [])] : [...(cancelBtn ? [cancelBtn] : []), ...others];
    const els = laid.map((b) => h("button.dlg-btn" + (b.index === destructive ? ".destructive" : "") + (b.index === cancel ? ".cancel" : "") + (b.index === laid.at(-1).index && !o.sheet && b.index !== cancel ? ".default" : ""), {
      type: "button",
      onclick: () => end(b.index),
    }, String(b.label)));
    modal.box.append(
      h("h2.dlg-title", { id: titleId, text: o.title || (o.sheet ? "" : t("shell.alert")), hidden: !o.title && !!o.message }),
      ...(o.message ? [h("p.dlg-message", { text: o.message })] : []),
      h("div.dlg-buttons", {}, els));
    if (!o.title && o.message) modal.box.setAttribute("aria-label", o.message);
    this.alerts.set(id, modal);
    // Safest first: the cancel button when there is one.
    const first = els[laid.findIndex((b) => b.index === cancel)] ?? els.at(o.sheet ? 0 : -1);
    requestAnimationFrame(() => first?.focus());
  }

  closeAlert(id) {
    const modal = this.alerts.get(id);
    if (!modal) return;
    this.alerts.delete(id);
    modal.close();
  }

  // The comment form: app.setCommentForm on its channel; commentDidSubmit or
  // commentDidCancel back.
  showSheet(o) {
    this.closeSheet();
    if (!o || typeof o.channel !== "string") return;
    const channel = o.channel;
    const titleId = `dlg-${nextId++}`;
    const cancel = () => {
      this.ctx.bridge.request(channel, "commentDidCancel");
      this.closeSheet();
    };
    const modal = new Modal(this.layer, { cls: "sheet comment-sheet", labelledBy: titleId, onCancel: cancel });
    const art = artwork(null, "", { cls: "cf-art", lazy: false });
    const trackTitle = h("div.cf-track-title");
    const trackArtist = h("div.cf-track-artist");
    const text = h("textarea.cf-text", { rows: "4", "aria-label": t("shell.comment.input"), placeholder: t("shell.comment.input") });
    const box = (key) => {
      const input = h("input", { type: "checkbox", disabled: true });
      return { input, label: h("label.cf-check", {}, input, h("span", { text: t(key) })) };
    };
    const fb = box("shell.comment.facebook");
    const tw = box("shell.comment.twitter");
    const cancelBtn = h("button.dlg-btn.cancel", { type: "button", onclick: cancel }, t("shell.cancel"));
    const submit = h("button.dlg-btn.default", {
      type: "button",
      onclick: () => {
        this.ctx.bridge.request(channel, "commentDidSubmit", {
          text: text.value, facebook: fb.input.checked ? 1 : 0, twitter: tw.input.checked ? 1 : 0,
        });
        this.closeSheet();
      },
    }, t("shell.comment.submit"));
    modal.box.append(
      h("h2.dlg-title", { id: titleId, text: o.title || t("shell.comment.title") }),
      h("div.cf-track", {}, art, h("div", {}, trackTitle, trackArtist)),
      text,
      h("div.cf-share", {}, fb.label, tw.label),
      h("div.dlg-buttons", {}, cancelBtn, submit));
    const app = {
      setCommentForm: (f) => {
        if (!f) return;
        trackTitle.textContent = f.title ?? "";
        trackArtist.textContent = f.artist ?? "";
        setArtwork(art, f.artwork, f.artist ?? "", { lazy: false });
        // The program's own texts for the field and the buttons, when it sends them.
        const texts = f.texts && typeof f.texts === "object" ? f.texts : {};
        if (typeof texts.input === "string" && texts.input) {
          text.placeholder = texts.input;
          text.setAttribute("aria-label", texts.input);
        }
        if (typeof texts.submit === "string" && texts.submit) submit.textContent = texts.submit;
        if (typeof texts.cancel === "string" && texts.cancel) cancelBtn.textContent = texts.cancel;
        for (const [b, s] of [[fb, f.facebook], [tw, f.twitter]]) {
          b.input.disabled = !s?.enabled;
          b.input.checked = !!s?.checked;
        }
      },
    };
    this.sheet = { modal, channel, app };
    this.ctx.attachScripted(channel, app);
    requestAnimationFrame(() => text.focus());
  }

  closeSheet() {
    if (!this.sheet) return;
    this.ctx.detachScripted(this.sheet.channel);
    this.sheet.modal.close();
    this.sheet = null;
  }
}
