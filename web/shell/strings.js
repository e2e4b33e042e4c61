// Texts by key. The program serves /strings.json (the merged texts of the
// listener's language); a framed page borrows the shell's table when it has one.
let table = null;

export async function loadStrings() {
  if (table) return table;
  try {
    const shared = window.parent !== window && window.parent.mireluneBridge?.strings;
    if (shared) {
      table = shared;
      return table;
    }
  } catch {
    // A parent of another origin: fetch our own.
  }
  try {
    const response = await fetch("/strings.json", { cache: "no-cache" });
    table = response.ok ? await response.json() : {};
  } catch {
    table = {};
  }
  return table;
}

export function strings() {
  return table ?? {};
}

// t("shell.tracks", 12) replaces {0}, {1}, ... in order.
export function t(key, ...args) {
  let text = (table && typeof table[key] === "string") ? table[key] : key;
  args.forEach((value, i) => { text = text.split(`{${i}}`).join(String(value)); });
  return text;
}

// data-t: text; data-t-label: aria-label and title; data-t-placeholder.
export function applyStrings(root = document) {
  for (const el of root.querySelectorAll("[data-t]")) el.textContent = t(el.dataset.t);
  for (const el of root.querySelectorAll("[data-t-label]")) {
    const text = t(el.dataset.tLabel);
    el.setAttribute("aria-label", text);
    el.title = text;
  }
  for (const el of root.querySelectorAll("[data-t-placeholder]")) el.placeholder = t(el.dataset.tPlaceholder);
}
