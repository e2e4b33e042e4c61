// The home page: new releases, today's artists and genres, filled by the
// program through window.app; each choice goes back as an "app://" request.
import { h, artwork, arrowNavigation, iconEl } from "../../shell/dom.js";
import { loadStrings, t, applyStrings } from "../../shell/strings.js";
import { request, ready } from "../framebridge.js";

const $ = (id) => document.getElementById(id);

function skeleton(container, count, cls) {
  container.replaceChildren(...Array.from({ length: count }, () => h(`div.skeleton.${cls}`, { "aria-hidden": "true" })));
  container.setAttribute("aria-busy", "true");
}

function fill(container, items) {
  container.removeAttribute("aria-busy");
  container.replaceChildren(...(items.length ? items : [h("p.shelf-empty", { text: t("home.empty") })]));
}

function list(a) {
  return Array.isArray(a) ? a.filter((x) => x && typeof x === "object") : [];
}

function setNewReleases(a) {
  fill($("releases"), list(a).map((r) => h("button.card.release", {
    type: "button",
    role: "listitem",
    "aria-label": `${r.title ?? ""} — ${r.artist ?? ""}`,
    onclick: () => request("newReleaseItemDidSelect", { collectionId: r.collectionId }),
  }, artwork(r.artwork, r.artist || r.title || ""), h("div.card-title", { text: r.title ?? "" }), h("div.card-sub", { text: r.artist ?? "" }))));
}

function setTodaysArtists(a) {
  fill($("artists"), list(a).map((r, i) => h("button.card.artist", {
    type: "button",
    role: "listitem",
    "aria-label": r.name ?? "",
    onclick: () => request("artistDidSelect", { index: Number.isInteger(r.index) ? r.index : i }),
  }, artwork(r.artwork, r.name ?? "", { round: true, initial: true }), h("div.card-title", { text: r.name ?? "" }))));
}

function setGenreList(a) {
  fill($("genres"), list(a).map((g, i) => {
    const urls = Array.isArray(g.artwork) ? g.artwork.slice(0, 4) : [];
    const tag = g.genreTag ?? "";
    // No track for the genre: one placeholder tile in its own colour.
    const mosaic = urls.length
      ? h("div.mosaic", { "aria-hidden": "true" }, ...[0, 1, 2, 3].map((j) => artwork(urls[j % urls.length], tag)))
      : h("div.mosaic.empty", { "aria-hidden": "true" }, artwork(null, tag));
    return h("button.card.genre", {
      type: "button",
      role: "listitem",
      "aria-label": tag,
      onclick: () => request("genreDidSelect", { index: Number.isInteger(g.index) ? g.index : i }),
    }, mosaic, h("div.genre-tag", {}, h("span", { text: tag }), iconEl("play")));
  }));
}

window.app = { setNewReleases, setTodaysArtists, setGenreList };

await loadStrings();
applyStrings();
document.documentElement.lang = t("shell.lang");
for (const button of document.querySelectorAll("[data-scroll]")) {
  button.innerHTML = button.dataset.dir === "1" ? '<svg class="icon" viewBox="0 0 24 24" fill="none" stroke="currentColor" stroke-width="1.8" stroke-linecap="round" stroke-linejoin="round" aria-hidden="true"><path d="M9 5l7 7-7 7"/></svg>' : '<svg class="icon" viewBox="0 0 24 24" fill="none" stroke="currentColor" stroke-width="1.8" stroke-linecap="round" stroke-linejoin="round" aria-hidden="true"><path d="M15 5l-7 7 7 7"/></svg>';
  button.addEventListener("click", () => {
    const row = $(button.dataset.scroll);
    row.scrollBy({ left: Number(button.dataset.dir) * row.clientWidth * 0.8, behavior: "smooth" });
  });
}
arrowNavigation($("releases"), ".card");
arrowNavigation($("artists"), ".card");
arrowNavigation($("genres"), ".card", { vertical: true });
skeleton($("releases"), 8, "release");
skeleton($("artists"), 8, "artist");
skeleton($("genres"), 8, "genre");
ready();
