// The artist search field and its result popover. The field forwards what
// the listener types and the keys that steer the list; the program owns the
// list and the selection.
import { h, artwork } from "./dom.js";

export class Search {
  constructor(bridge, input, popover) {
    this.bridge = bridge;
    this.input = input;
    this.popover = popover;
    this.open = false;
    this.list = h("ul.search-results", { role: "listbox", id: "search-results" });
    popover.append(this.list);
    input.setAttribute("role", "combobox");
    input.setAttribute("aria-controls", "search-results");
    input.setAttribute("aria-expanded", "false");
    input.setAttribute("aria-autocomplete", "list");

    input.addEventListener("input", () => this.bridge.request("main", "searchTextDidChange", { text: input.value }));
    input.addEventListener("keydown", (e) => {
      const key = { ArrowDown: "down", ArrowUp: "up", Escape: "escape", Enter: "return" }[e.key];
      if (!key || e.isComposing) return;
      e.preventDefault();
      e.stopPropagation();
      this.bridge.request("main", "searchKey", { key });
      if (key === "escape" || key === "return") input.blur();
    });
    // A click outside ends the search as Escape does.
    document.addEventListener("pointerdown", (e) => {
      if (this.open && !popover.contains(e.target) && e.target !== input) this.bridge.request("main", "searchKey", { key: "escape" });
    }, true);
  }

  set(o) {
    const results = Array.isArray(o?.results) ? o.results : [];
    this.open = !!o?.open && results.length > 0;
    this.popover.hidden = !this.open;
    this.input.setAttribute("aria-expanded", String(this.open));
    const selected = Number.isInteger(o?.selected) ? o.selected : null;
    this.list.replaceChildren(...results.map((name, index) => {
      const li = h("li.search-result" + (index === selected ? ".selected" : ""), {
        role: "option",
        id: `search-result-${index}`,
        "aria-selected": String(index === selected),
      }, artwork(null, String(name), { round: true, initial: true }), h("span", { text: String(name) }));
      li.addEventListener("mousedown", (e) => e.preventDefault());
      // One choice per click or double click (the second click of a double
      // click would choose again).
      li.addEventListener("click", (e) => {
        if (e.detail <= 1) this.bridge.request("main", "searchDidChoose", { index });
      });
      return li;
    }));
    if (selected !== null) {
      this.input.setAttribute("aria-activedescendant", `search-result-${selected}`);
      this.list.children[selected]?.scrollIntoView({ block: "nearest" });
    } else {
      this.input.removeAttribute("aria-activedescendant");
    }
  }
}
