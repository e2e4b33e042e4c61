// The track detail page: metadata, links and the two comment lists, filled
// by the program through window.app. Links go to the program (which opens
// the browser); the frame itself never navigates.
import { h, artwork, setArtwork, iconEl } from "../../shell/dom.js";
import { loadStrings, t, applyStrings } from "../../shell/strings.js";
import { sendUrl, ready } from "../framebridge.js";

const $ = (id) => document.getElementById(id);
const LINKS = [
  ["iTunesStore", "bag"],
  ["youTubeVideo", "video"],
  ["lastfm", "link"],
  ["amazonSearch", "search"],
];
const art = artwork(null, "", { cls: "hero-art", lazy: false });
$("artwork-slot").replaceWith(art);

// A profile may carry markup (a "read more" anchor): show its text only.
function plainText(html) {
  return new DOMParser().parseFromString(String(html ?? ""), "text/html").body.textContent.trim();
}

function isLink(url) {
  return typeof url === "string" && /^https?:\/\//i.test(url);
}

function setMetaData(o) {
  if (!o || typeof o !== "object") return;
  $("empty").hidden = true;
  $("track").hidden = false;
  const artist = o.artistName ?? "";
  $("track-title").textContent = o.trackTitle || t("detail.untitled");
  $("artist-name").textContent = artist;
  setArtwork(art, o.artworkUrl, artist || o.trackTitle || "", { lazy: false });
  const bg = $("hero-bg");
  bg.style.backgroundImage = isLink(o.artworkUrl) || String(o.artworkUrl ?? "").startsWith("/") ? `url("${String(o.artworkUrl).replace(/"/g, "%22")}")` : "";
  bg.style.setProperty("--hue", art.style.getPropertyValue("--hue"));
  const profile = plainText(o.profile);
  $("profile").textContent = profile;
  $("profile-block").hidden = !profile;
  const links = o.link && typeof o.link === "object" ? o.link : {};
  $("links").replaceChildren(...LINKS.filter(([key]) => isLink(links[key])).map(([key, iconName]) =>
    h(`a.pill-btn.link-${key}`, { href: links[key], rel: "noopener", title: links[key] }, iconEl(iconName), h("span", { text: t(`detail.link.${key}`) }))));
  document.scrollingElement.scrollTop = 0;
}

function setComments(listId, countId) {
  return (a) => {
    const items = Array.isArray(a) ? a.filter((c) => c && typeof c === "object") : [];
    $(countId).textContent = items.length ? String(items.length) : "";
    $(listId).replaceChildren(...(items.length ? items.map((c) => h("li.comment", {},
      artwork(null, c.name ?? "", { round: true, initial: true, cls: "avatar" }),
      h("div.comment-body", {}, h("div.comment-name", { text: c.name || t("detail.anonymous") }), h("p.comment-text", { text: c.text ?? "" }))))
      : [h("li.no-comments", { text: t("detail.noComments") })]));
  };
}

window.app = {
  setMetaData,
  setCommentsOnYouTube: setComments("comments-youtube", "count-youtube"),
  setCommentsOnMirelune: setComments("comments-mirelune", "count-mirelune"),
};

// Every link followed in this page goes to the program.
document.addEventListener("click", (e) => {
  const a = e.target.closest?.("a[href]");
  if (!a) return;
  e.preventDefault();
  sendUrl(a.href);
});

await loadStrings();
applyStrings();
$("empty-art").replaceWith(artwork(null, "", { cls: "empty-art" }));
window.app.setCommentsOnYouTube([]);
window.app.setCommentsOnMirelune([]);
ready();
