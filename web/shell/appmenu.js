// The application menu (a window of its own has no menu bar): Mix, Sharing,
// Account and Help commands, sent as menuCommand.
import { h, iconEl } from "./dom.js";
import { t } from "./strings.js";

export class AppMenu {
  constructor(bridge, button, popup) {
    this.bridge = bridge;
    this.button = button;
    this.popup = popup;
    this.state = {};
    button.setAttribute("aria-haspopup", "menu");
    button.setAttribute("aria-expanded", "false");
    button.addEventListener("click", () => (popup.hidden ? this.open() : this.close()));
    popup.addEventListener("keydown", (e) => {
      const items = [...popup.querySelectorAll("button")];
      const i = items.indexOf(document.activeElement);
      if (e.key === "Escape") {
        e.preventDefault();
        this.close(true);
      } else if (e.key === "ArrowDown" || e.key === "ArrowUp") {
        e.preventDefault();
        items[(i + (e.key === "ArrowDown" ? 1 : items.length - 1)) % items.length]?.focus();
      } else if (e.key === "Tab") {
        this.close(false);
      }
    });
    document.addEventListener("pointerdown", (e) => {
      if (!popup.hidden && !popup.contains(e.target) && !button.contains(e.target)) this.close(false);
    }, true);
  }

  set(o) {
    this.state = o && typeof o === "object" ? o : {};
    if (!this.popup.hidden) this.#render();
  }

  open() {
    this.#render();
    this.popup.hidden = false;
    this.button.setAttribute("aria-expanded", "true");
    this.popup.querySelector("button")?.focus();
  }

  close(refocus = true) {
    if (this.popup.hidden) return;
    this.popup.hidden = true;
    this.button.setAttribute("aria-expanded", "false");
    if (refocus) this.button.focus();
  }

  #render() {
    const s = this.state;
    const item = (name, opts = {}) => h("button.menu-item", {
      type: "button",
      role: opts.check === undefined ? "menuitem" : "menuitemcheckbox",
      "aria-checked": opts.check === undefined ? null : String(!!opts.check),
      onclick: () => {
        this.close();
        this.bridge.request("main", "menuCommand", { name });
      },
    }, h("span.menu-check", {}, opts.check ? iconEl("check") : null), h("span", { text: t(`shell.menu.cmd.${name}`) }));
    const group = (key, ...items) => [h("div.menu-group", { role: "presentation", text: t(key) }), ...items];
    this.popup.setAttribute("role", "menu");
    this.popup.replaceChildren(
      ...group("shell.menu.mix", item("clearHistory"), item("inputPreferences"), item("changeMusicLibrary")),
      ...group("shell.menu.sharing",
        item("shareOnFacebook", { check: s.shareOnFacebook }),
        item("shareOnTwitter", { check: s.shareOnTwitter }),
        item("autoSharingOnFavorite", { check: s.autoSharingOnFavorite }),
        item(s.facebookConnected ? "disconnectFacebook" : "configureFacebook"),
        item(s.twitterConnected ? "disconnectTwitter" : "configureTwitter")),
      ...group("shell.menu.account", item("manageAccount"), item("logout")),
      ...group("shell.menu.help", item("showInstructions")));
  }
}
