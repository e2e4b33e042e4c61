// The side menu: the program sends its items (already titled) and the one
// selected; a choice goes back as sideMenuDidSelect.
import { h, iconEl } from "./dom.js";

const ICONS = { Home: "home", MyFavorites: "heart", History: "history", MyMusicProfile: "profile", ProcessingStatus: "activity" };

export class SideMenu {
  constructor(bridge, listEl) {
    this.bridge = bridge;
    this.listEl = listEl;
    listEl.addEventListener("keydown", (e) => {
      const buttons = [...listEl.querySelectorAll("button")];
      const i = buttons.indexOf(document.activeElement);
      if (i < 0 || (e.key !== "ArrowDown" && e.key !== "ArrowUp")) return;
      e.preventDefault();
      buttons[(i + (e.key === "ArrowDown" ? 1 : buttons.length - 1)) % buttons.length].focus();
    });
  }

  set(items, selected) {
    const list = Array.isArray(items) ? items : [];
    this.listEl.replaceChildren(...list.map((item) => {
      const current = selected !== null && selected !== undefined && item.index === selected;
      return h("li", {}, h("button.side-item" + (current ? ".current" : ""), {
        type: "button",
        title: item.title ?? "",
        "aria-current": current ? "page" : null,
        onclick: () => this.bridge.request("main", "sideMenuDidSelect", { index: item.index }),
      }, iconEl(ICONS[item.key] ?? "note"), h("span.side-label", { text: item.title ?? item.key ?? "" })));
    }));
  }
}
