// Small DOM helpers shared by the shell and the framed pages.
import { icon } from "./icons.js";

// h("button.play", {onclick, "aria-label": ...}, child, "text", ...)
export function h(tagAndClasses, attrs = {}, ...children) {
  const [tag, ...classes] = tagAndClasses.split(".");
  const el = document.createElement(tag || "div");
  if (classes.length) el.className = classes.join(" ");
  for (const [key, value] of Object.entries(attrs ?? {})) {
    if (value === undefined || value === null || value === false) continue;
    if (key.startsWith("on") && typeof value === "function") el.addEventListener(key.slice(2), value);
    else if (key === "html") el.innerHTML = value;
    else if (key === "text") el.textContent = value;
    else if (key === "dataset") Object.assign(el.dataset, value);
    else if (key === "style" && typeof value === "object") Object.assign(el.style, value);
    else el.setAttribute(key, value === true ? "" : value);
  }
  for (const child of children.flat()) {
    if (child === null || child === undefined || child === false) continue;
    el.append(child instanceof Node ? child : document.createTextNode(String(child)));
  }
  return el;
}

export function iconEl(name, cls = "") {
  const span = document.createElement("span");
  span.className = "icon-wrap";
  span.innerHTML = icon(name, cls);
  return span.firstChild;
}

function hash(text) {
  let value = 2166136261;
  for (let i = 0; i < text.length; i++) value = Math.imul(value ^ text.charCodeAt(i), 16777619);
  return value >>> 0;
}

// A stable hue for a name, so placeholders of one artist look alike.
export function hueFor(text) {
  return hash(text || "mirelune") % 360;
}

function isImageUrl(url) {
  return typeof url === "string" && /^(https?:|data:image\/|blob:|\/)/i.test(url);
}

// Artwork with a placeholder underneath: a soft gradient and a note (or the
// name's initial) that stays when the picture is missing or fails to load.
export function artwork(url, name = "", opts = {}) {
  const el = document.createElement("div");
  el.className = "art" + (opts.round ? " round" : "") + (opts.cls ? " " + opts.cls : "");
  setArtwork(el, url, name, opts);
  return el;
}

export function setArtwork(el, url, name = "", opts = {}) {
  if (el.dataset.url === (url ?? "") && el.dataset.name === name) return;
  el.dataset.url = url ?? "";
  el.dataset.name = name;
  el.style.setProperty("--hue", hueFor(name));
  el.replaceChildren();
  const ph = document.createElement("div");
  ph.className = "art-ph";
  if (opts.initial && name) ph.textContent = [...name.trim()][0]?.toUpperCase() ?? "";
  else ph.innerHTML = icon("note");
  el.append(ph);
  if (isImageUrl(url)) {
    const img = document.createElement("img");
    img.alt = "";
    img.decoding = "async";
    if (opts.lazy !== false) img.loading = "lazy";
    img.addEventListener("load", () => el.classList.add("loaded"));
    img.addEventListener("error", () => img.remove());
    img.src = url;
    el.append(img);
  }
}

export function isTextField(el) {
  if (!el) return false;
  if (el.isContentEditable) return true;
  if (el.tagName === "TEXTAREA" || el.tagName === "SELECT") return true;
  if (el.tagName !== "INPUT") return false;
  return !["button", "checkbox", "radio", "range", "submit", "reset", "color", "file", "image"].includes(el.type);
}

// An "app://" request with percent-encoded values.
export function appUrl(name, params = {}) {
  const query = Object.entries(params)
    .filter(([, v]) => v !== undefined && v !== null)
    .map(([k, v]) => `${encodeURIComponent(k)}=${encodeURIComponent(String(v))}`)
    .join("&");
  return `app://${name}${query ? "?" + query : ""}`;
}

export function formatTime(seconds) {
  if (!Number.isFinite(seconds) || seconds < 0) return "0:00";
  const s = Math.floor(seconds);
  return `${Math.floor(s / 60)}:${String(s % 60).padStart(2, "0")}`;
}

// Left/Right (or Up/Down) move focus between the items of a group.
export function arrowNavigation(container, selector, { vertical = false, horizontal = true } = {}) {
  container.addEventListener("keydown", (e) => {
    const keys = [];
    if (horizontal) keys.push("ArrowLeft", "ArrowRight");
    if (vertical) keys.push("ArrowUp", "ArrowDown");
    if (!keys.includes(e.key) && e.key !== "Home" && e.key !== "End") return;
    const items = [...container.querySelectorAll(selector)];
    const i = items.indexOf(document.activeElement);
    if (i < 0) return;
    let next = i;
    if (e.key === "ArrowLeft" || e.key === "ArrowUp") next = Math.max(0, i - 1);
    else if (e.key === "ArrowRight" || e.key === "ArrowDown") next = Math.min(items.length - 1, i + 1);
    else if (e.key === "Home") next = 0;
    else if (e.key === "End") next = items.length - 1;
    e.preventDefault();
    items[next].focus();
    items[next].scrollIntoView({ block: "nearest", inline: "nearest" });
  });
}
