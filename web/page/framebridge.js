// What a framed page uses of the shell around it (parent.mireluneBridge).
// Opened on its own (no shell), requests are logged instead.
import { appUrl } from "../shell/dom.js";
import { forwardSpaceKey } from "../shell/framekeys.js";

export const channel = new URLSearchParams(location.search).get("channel") || "";

export function shell() {
  try {
    return window.parent !== window ? window.parent.mireluneBridge ?? null : null;
  } catch {
    return null;
  }
}

export function request(name, params) {
  sendUrl(appUrl(name, params));
}

export function sendUrl(url) {
  const bridge = shell();
  if (bridge) bridge.send(channel, url);
  else console.info("page request", channel, url);
}

export function ready() {
  forwardSpaceKey(shell);
  shell()?.load(channel);
}
