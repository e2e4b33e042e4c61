// The space bar plays and pauses from anywhere in the window, also while the
// focus is inside a framed page: the frame hands the key to the shell.
import { isTextField } from "./dom.js";

export function forwardSpaceKey(bridge) {
  const handler = (type) => (e) => {
    if (e.key !== " " || isTextField(document.activeElement)) return;
    e.preventDefault();
    if (type === "keyDown" && e.repeat) return;
    bridge()?.key(type, 32);
  };
  window.addEventListener("keydown", handler("keyDown"), true);
  window.addEventListener("keyup", handler("keyUp"), true);
}
