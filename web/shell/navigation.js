// The navigation stack and the modal screen over it. The shell keeps the
// views of channels it already has, so a screen keeps its scroll position and
// its page when the program sends the stack again.
import { PlaylistView } from "./playlist.js";
import { ListView } from "./listscreen.js";
import { FrameView } from "./frameview.js";

export function makeView(ctx, screen, cls) {
  if (screen.src) return new FrameView(ctx, screen, cls);
  if (screen.kind === "playlist") return new PlaylistView(ctx, screen);
  return new ListView(ctx, screen);
}

function validScreen(s) {
  return s && typeof s === "object" && typeof s.channel === "string" && s.channel !== "";
}

export class Navigation {
  constructor(ctx, stackEl, modalEl, onChange) {
    this.ctx = ctx;
    this.stackEl = stackEl;
    this.modalEl = modalEl;
    this.onChange = onChange;
    this.stack = [];
    this.modal = null;
  }

  setStack(screens) {
    const list = (Array.isArray(screens) ? screens : []).filter(validScreen);
    const old = new Map(this.stack.map((v) => [v.channel, v]));
    const previousTop = this.stack.at(-1);
    const next = list.map((screen) => {
      const view = old.get(screen.channel);
      if (view && view.kind === screen.kind && (view.src ?? null) === (screen.src ?? null)) {
        old.delete(screen.channel);
        if (screen.title !== undefined && screen.title !== view.title) view.setTitle(screen.title);
        this.ctx.revisit(view);
        return view;
      }
      return null;
    });
    for (const view of old.values()) this.ctx.detach(view);
    this.stack = next.map((view, i) => view ?? this.#create(list[i], "screen"));
    this.stack.forEach((view, i) => {
      if (view.el.parentNode !== this.stackEl || this.stackEl.children[i] !== view.el) this.stackEl.insertBefore(view.el, this.stackEl.children[i] ?? null);
      const top = i === this.stack.length - 1;
      view.el.hidden = !top;
      view.el.inert = !top;
    });
    const top = this.stack.at(-1);
    if (top && previousTop && top !== previousTop) {
      const pushed = this.stack.indexOf(previousTop) >= 0;
      top.el.classList.remove("enter-push", "enter-pop");
      void top.el.offsetWidth;
      top.el.classList.add(pushed ? "enter-push" : "enter-pop");
    }
    this.onChange();
  }

  setModal(screen) {
    if (!validScreen(screen)) {
      if (this.modal) this.ctx.detach(this.modal);
      this.modal = null;
    } else if (this.modal && this.modal.channel === screen.channel && (this.modal.src ?? null) === (screen.src ?? null)) {
      if (screen.title !== undefined) this.modal.setTitle(screen.title);
      this.ctx.revisit(this.modal);
    } else {
      if (this.modal) this.ctx.detach(this.modal);
      this.modal = this.#create(screen, "screen modal-screen");
      this.modalEl.replaceChildren(this.modal.el);
    }
    this.modalEl.hidden = !this.modal;
    this.stackEl.inert = !!this.modal;
    this.onChange();
  }

  get top() {
    return this.modal ?? this.stack.at(-1) ?? null;
  }

  all() {
    return [...this.stack, ...(this.modal ? [this.modal] : [])];
  }

  #create(screen, cls) {
    const view = makeView(this.ctx, screen, `${cls} frame-screen`);
    this.ctx.attach(view);
    return view;
  }
}
