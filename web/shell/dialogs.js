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

  // `channel`: where alertDidEnd goes (the window that asked).
  showAlert(o, channel = "main") {
    if (!o || typeof o !== "object") return;
    const id = `${channel}:${o.id}`;
    this.closeAlert(o.id, channel);
    const buttons = Array.isArray(o.buttons) && o.buttons.length ? o.buttons : [t("shell.ok")];
    const cancel = Number.isInteger(o.cancel) && o.cancel >= 0 && o.cancel < buttons.length ? o.cancel : -1;
    const destructive = Number.isInteger(o.destructive) ? o.destructive : -1;
    const titleId = `dlg-${nextId++}`;
    const end = (button) => {
      if (!this.alerts.has(id)) return;
      this.closeAlert(o.id, channel);
      this.ctx.bridge.request(channel, "alertDidEnd", { id: o.id, button });
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

  closeAlert(alertId, channel = "main") {
    const id = `${channel}:${alertId}`;
    const modal = this.alerts.get(id);
    if (!modal) return;
    this.alerts.delete(id);
    modal.close();
  }

  // A sheet by kind: the comment form (default), the favorite artists
  // ("inputPreferences") or the music library ("musicLibrary"). `owner` is
  // the window that showed it; its closeSheet closes only its own.
  showSheet(o, owner = "main") {
    this.closeSheet();
    if (!o || typeof o.channel !== "string") return;
    if (o.kind === "inputPreferences" || o.kind === "musicLibrary") {
      const titleId = `dlg-${nextId++}`;
      const sheet = (o.kind === "inputPreferences" ? preferencesSheet : librarySheet)(this, o, titleId);
      this.sheet = { ...sheet, channel: o.channel, owner };
      this.ctx.attachScripted(o.channel, sheet.app);
      return;
    }
    this.#commentSheet(o, owner);
  }

  #commentSheet(o, owner) {
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
    this.sheet = { modal, channel, app, owner };
    this.ctx.attachScripted(channel, app);
    requestAnimationFrame(() => text.focus());
  }

  closeSheet(owner) {
    if (!this.sheet || (owner && this.sheet.owner !== owner)) return;
    this.ctx.detachScripted(this.sheet.channel);
    this.sheet.modal.close();
    this.sheet = null;
  }
}

// The favorite artists: an editable list of names, add and remove, OK (and
// cancel outside the first analysis). preferencesDidSubmit carries the names
// as a JSON array.
function preferencesSheet(dialogs, o, titleId) {
  const channel = o.channel;
  const bridge = dialogs.ctx.bridge;
  let state = { artists: ["", "", ""], canCancel: true, busy: false };
  const cancel = () => {
    if (state.canCancel && !state.busy) bridge.request(channel, "preferencesDidCancel");
    else if (state.canCancel) bridge.request(channel, "preferencesDidCancel");
  };
  const modal = new Modal(dialogs.layer, { cls: "sheet prefs-sheet", labelledBy: titleId, onCancel: cancel });
  const description = h("p.dlg-message.prefs-desc");
  const list = h("ol.prefs-list");
  const bar = h("div.wl-bar.prefs-bar", { role: "progressbar", "aria-label": t("welcome.preferences.working") }, h("div.wl-bar-fill"));
  const barRow = h("div.prefs-progress", {}, bar, h("span.prefs-working", { text: t("welcome.preferences.working") }));
  const add = h("button.link-btn.prefs-add", { type: "button" }, "+ " + t("welcome.preferences.add"));
  const ok = h("button.dlg-btn.default", { type: "button" }, t("OK"));
  const cancelBtn = h("button.dlg-btn.cancel", { type: "button", onclick: cancel }, t("cancel"));
  const names = () => [...list.querySelectorAll("input")].map((i) => i.value.trim());
  const row = (value, focus) => {
    const input = h("input.wl-input", { type: "text", value, autocomplete: "off", spellcheck: "false",
      placeholder: t("welcome.preferences.placeholder") });
    const li = h("li.prefs-row", {}, input, h("button.icon-btn.prefs-remove", {
      type: "button", "aria-label": t("welcome.preferences.remove"), title: t("welcome.preferences.remove"),
      onclick: () => {
        const next = li.nextElementSibling ?? li.previousElementSibling;
        li.remove();
        renumber();
        next?.querySelector("input")?.focus();
      },
    }, "×"));
    input.addEventListener("keydown", (e) => {
      if (e.key === "Enter") {
        e.preventDefault();
        if (li === list.lastElementChild && input.value.trim()) addRow();
        else li.nextElementSibling?.querySelector("input")?.focus();
      }
    });
    list.append(li);
    renumber();
    if (focus) input.focus();
  };
  const renumber = () => [...list.children].forEach((li, i) => li.querySelector("input").setAttribute("aria-label", t("welcome.preferences.artist", i + 1)));
  const addRow = () => row("", true);
  add.addEventListener("click", addRow);
  const form = h("form.prefs-form", {}, description, list, add, barRow);
  form.addEventListener("submit", (e) => {
    e.preventDefault();
    if (!state.busy) bridge.request(channel, "preferencesDidSubmit", { artists: JSON.stringify(names()) });
  });
  ok.addEventListener("click", () => form.requestSubmit());
  modal.box.append(h("h2.dlg-title", { id: titleId, text: o.title || t("welcome.preferences.title") }), form,
    h("div.dlg-buttons", {}, cancelBtn, ok));
  state.artists.forEach((a) => row(a, false));
  requestAnimationFrame(() => list.querySelector("input")?.focus());
  const app = {
    setPreferences: (p) => {
      if (!p) return;
      state = { ...state, ...p };
      description.textContent = p.description ?? "";
      cancelBtn.hidden = !p.canCancel;
      ok.disabled = !!p.busy;
      add.disabled = !!p.busy;
      for (const input of list.querySelectorAll("input, button")) input.disabled = !!p.busy;
      barRow.hidden = !p.busy;
      const fill = bar.firstChild;
      const determinate = typeof p.progress === "number" && p.progress > 0;
      bar.classList.toggle("indeterminate", !determinate);
      fill.style.width = determinate ? `${Math.round(Math.min(1, p.progress) * 100)}%` : "";
      // The names the program holds (after a reconnect) replace an untouched list.
      if (Array.isArray(p.artists) && p.artists.length && names().every((n) => !n)) {
        list.replaceChildren();
        p.artists.forEach((a) => row(String(a), false));
      }
    },
  };
  return { modal, app };
}

// The music library: the path in use, another typed or pasted, Change,
// Reset and OK.
function librarySheet(dialogs, o, titleId) {
  const channel = o.channel;
  const bridge = dialogs.ctx.bridge;
  const done = () => bridge.request(channel, "musicLibraryDidEnd");
  const modal = new Modal(dialogs.layer, { cls: "sheet library-sheet", labelledBy: titleId, onCancel: done });
  const message = h("p.dlg-message");
  const current = h("code.lib-path");
  const note = h("p.lib-note", { text: t("welcome.library.default") });
  const inputId = `lib-${nextId++}`;
  const input = h("input.wl-input", { id: inputId, type: "text", autocomplete: "off", spellcheck: "false",
    placeholder: "~/Music/iTunes/iTunes Music Library.xml" });
  const change = h("button.dlg-btn", { type: "submit" }, t("Change"));
  const reset = h("button.dlg-btn", { type: "button", onclick: () => bridge.request(channel, "musicLibraryReset") }, t("Reset"));
  const form = h("form.lib-form", {},
    h("div.lib-label", { text: t("welcome.library.path") }), current, note,
    h("label.lib-label", { for: inputId, text: t("welcome.library.newPath") }),
    h("div.lib-row", {}, input, change));
  form.addEventListener("submit", (e) => {
    e.preventDefault();
    if (input.value.trim()) bridge.request(channel, "musicLibraryChange", { path: input.value.trim() });
  });
  modal.box.append(h("h2.dlg-title", { id: titleId, text: o.title || t("welcome.library.title") }), message, form,
    h("div.dlg-buttons", {}, reset, h("button.dlg-btn.default", { type: "button", onclick: done }, t("OK"))));
  requestAnimationFrame(() => input.focus());
  const app = {
    setMusicLibrary: (m) => {
      if (!m) return;
      message.textContent = m.message ?? "";
      current.textContent = m.path ?? "";
      note.hidden = !m.isDefault;
      reset.disabled = !!m.isDefault;
      if (input.value.trim() === (m.path ?? "")) input.value = "";
    },
  };
  return { modal, app };
}
