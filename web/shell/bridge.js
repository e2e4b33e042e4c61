// The one connection to the program: frames by channel both ways, reconnects
// with backoff. A connection the program replaced (close code 4001: another
// window took over) is not retried until the listener asks.
import { appUrl } from "./dom.js";

export const REPLACED_CLOSE_CODE = 4001;

export class Bridge {
  #ws = null;
  #delay = 250;
  #channels = new Map();
  #timer = null;
  #connectedOnce = false;

  // onConnect(isReconnect) runs before "hello" is sent; onStatus(state) with
  // "connecting" / "open" / "closed" / "replaced".
  constructor({ onConnect = () => {}, onStatus = () => {} } = {}) {
    this.onConnect = onConnect;
    this.onStatus = onStatus;
  }

  start() {
    clearTimeout(this.#timer);
    this.onStatus("connecting");
    const scheme = location.protocol === "https:" ? "wss:" : "ws:";
    let ws;
    try {
      ws = new WebSocket(`${scheme}//${location.host}/bridge`);
    } catch {
      this.#retry();
      return;
    }
    ws.addEventListener("open", () => {
      this.#ws = ws;
      this.#delay = 250;
      this.onConnect(this.#connectedOnce);
      this.#connectedOnce = true;
      this.onStatus("open");
      this.#write({ channel: "main", event: "hello" });
    });
    ws.addEventListener("message", (e) => this.#receive(e.data));
    ws.addEventListener("close", (e) => {
      if (this.#ws === ws) this.#ws = null;
      if (e.code === REPLACED_CLOSE_CODE) {
        this.onStatus("replaced");
        return;
      }
      this.onStatus("closed");
      this.#retry();
    });
  }

  get connected() {
    return this.#ws !== null && this.#ws.readyState === WebSocket.OPEN;
  }

  // Scripts of `channel` go to `runner(script)` until unregister.
  register(channel, runner) {
    this.#channels.set(channel, runner);
  }

  unregister(channel, runner) {
    if (!runner || this.#channels.get(channel) === runner) this.#channels.delete(channel);
  }

  // An "app://name?..." request of `channel`.
  request(channel, name, params = {}) {
    this.url(channel, appUrl(name, params));
  }

  // A request or a followed link, as the page wrote it.
  url(channel, url) {
    this.#write({ channel, url: String(url) });
  }

  event(channel, event) {
    this.#write({ channel, event });
  }

  #write(frame) {
    // While disconnected the frame is dropped: the program sends the whole
    // window again on the next "hello".
    if (this.connected) this.#ws.send(JSON.stringify(frame));
  }

  #receive(data) {
    let frame;
    try {
      frame = JSON.parse(data);
    } catch {
      console.warn("bridge: a frame that is not JSON", data);
      return;
    }
    if (!frame || typeof frame.channel !== "string" || typeof frame.script !== "string") return;
    const runner = this.#channels.get(frame.channel);
    if (!runner) {
      console.debug("bridge: no view for channel", frame.channel);
      return;
    }
    runner(frame.script);
  }

  #retry() {
    clearTimeout(this.#timer);
    this.#timer = setTimeout(() => this.start(), this.#delay);
    this.#delay = Math.min(this.#delay * 2, 5000);
  }
}

// Runs a script of the program with `app` bound to the channel's object.
export function runScript(script, app, fn = Function) {
  try {
    new fn("app", script)(app);
  } catch (err) {
    console.error("script failed:", err, script.slice(0, 200));
  }
}
