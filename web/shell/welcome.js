// The welcome window: a full-window overlay drawn from the program's
// app.setWelcome({screen, ...}) on channel "welcome" (welcome, terms of use,
// sign-up, log-in, first analysis). Its alerts and sheets are the shell's
// dialogs, answered on this channel.
import { h } from "./dom.js";
import { t } from "./strings.js";
import { icon } from "./icons.js";

const CHANNEL = "welcome";

const LOGO = '<svg class="wl-logo" viewBox="0 0 32 32" aria-hidden="true"><defs><linearGradient id="wl-grad" x1="0" y1="0" x2="1" y2="1"><stop offset="0" stop-color="var(--accent)"/><stop offset="1" stop-color="var(--accent-2)"/></linearGradient></defs><circle cx="16" cy="16" r="15" fill="url(#wl-grad)"/><path d="M20.5 7.5a9 9 0 1 0 4 13.5 7.2 7.2 0 0 1-4-13.5z" fill="#fff" opacity=".95"/></svg>';

export class Welcome {
  constructor(ctx, el, dialogs, onVisibility = () => {}) {
    this.ctx = ctx;
    this.el = el;
    this.dialogs = dialogs;
    this.onVisibility = onVisibility;
    this.screen = null; // {name, root, update}
    this.app = {
      setWelcome: (o) => this.set(o),
      showAlert: (o) => dialogs.showAlert(o, CHANNEL),
      closeAlert: (id) => dialogs.closeAlert(id, CHANNEL),
      showSheet: (o) => dialogs.showSheet(o, CHANNEL),
      closeSheet: () => dialogs.closeSheet(CHANNEL),
      closeWelcome: () => this.close(),
    };
    el.addEventListener("keydown", (e) => {
      if (e.key === "Escape" && this.state?.canGoBack && !e.defaultPrevented) {
        e.preventDefault();
        this.request("navigateBack");
      }
    });
  }

  get visible() {
    return !this.el.hidden;
  }

  request(name, params) {
    this.ctx.bridge.request(CHANNEL, name, params);
  }

  close() {
    this.el.hidden = true;
    this.el.replaceChildren();
    this.screen = null;
    this.state = null;
    this.dialogs.closeSheet(CHANNEL);
    this.onVisibility(false);
  }

  set(o) {
    if (!o || typeof o.screen !== "string") return;
    this.state = o;
    const wasHidden = this.el.hidden;
    this.el.hidden = false;
    if (wasHidden) this.onVisibility(true);
    if (!this.screen || this.screen.name !== o.screen) {
      const build = SCREENS[o.screen] ?? SCREENS.welcome;
      const screen = build(this, o);
      screen.name = o.screen;
      this.el.replaceChildren(h("div.wl-backdrop"), screen.root);
      this.screen = screen;
      screen.update?.(o);
      requestAnimationFrame(() => (screen.focus?.() ?? screen.root.querySelector("h1"))?.focus?.({ preventScroll: true }));
    } else {
      this.screen.update?.(o);
    }
  }
}

// --- pieces ---

function card(...children) {
  return h("section.wl-card", { role: "region" }, ...children);
}

function header(welcome, titleKey, o) {
  const back = h("button.icon-btn.wl-back", {
    type: "button", "aria-label": t("back"), title: t("back"), html: icon("back"),
    onclick: () => welcome.request("navigateBack"),
  });
  back.hidden = !o.canGoBack;
  const title = h("h1.wl-title", { tabindex: "-1", text: t(titleKey) });
  return { el: h("header.wl-head", {}, back, title), back, title };
}

function field(id, labelKey, input, hintKey, optional) {
  input.id = id;
  const label = h("label.wl-label", { for: id }, t(labelKey), optional ? h("span.wl-optional", { text: t("welcome.optional") }) : null);
  const parts = [label, input];
  if (hintKey) {
    const hintId = `${id}-hint`;
    input.setAttribute("aria-describedby", hintId);
    parts.push(h("p.wl-hint", { id: hintId, text: t(hintKey) }));
  }
  return h("div.wl-field", {}, ...parts);
}

function select(options, value) {
  const el = h("select.wl-input");
  setOptions(el, options, value);
  return el;
}

function setOptions(el, options, value) {
  if (!Array.isArray(options)) return;
  const key = JSON.stringify(options);
  if (el.dataset.options !== key) {
    el.dataset.options = key;
    el.replaceChildren(...options.map((opt) => h("option", { value: String(opt.tag ?? opt.code ?? ""), text: opt.title ?? "" })));
  }
  if (value !== undefined && value !== null && document.activeElement !== el) el.value = String(value);
}

function busyButton(labelKey) {
  const label = h("span", { text: t(labelKey) });
  const spin = h("span.wl-spin", { "aria-hidden": "true" });
  const btn = h("button.wl-btn.primary", { type: "submit" }, spin, label);
  return {
    el: btn,
    set(busy) {
      btn.disabled = !!busy;
      btn.classList.toggle("busy", !!busy);
      label.textContent = busy ? t("welcome.sending") : t(labelKey);
    },
  };
}

// --- screens ---

const POINTS = [
  ["analyzeYourMusicPreferences", "profile"],
  ["playRecommendsYouMayLike", "play"],
  ["welcome.pointKeep", "heart"],
];

const SCREENS = {
  welcome(welcome) {
    const signUp = h("button.wl-btn.primary", { type: "button", onclick: () => welcome.request("showSignUp") }, t("signUp"));
    const logIn = h("button.wl-btn", { type: "button", onclick: () => welcome.request("showLogIn") }, t("logIn"));
    const root = card(
      h("div.wl-hero", {},
        h("div.wl-brand", { html: LOGO }, h("span.wl-name", { text: "Mirelune" })),
        h("p.wl-tagline", { text: t("welcome.tagline") })),
      h("h1.wl-title.center", { tabindex: "-1", text: t("Welcome! mirelune will do..") }),
      h("ul.wl-points", {}, ...POINTS.map(([key, ic]) =>
        h("li.wl-point", {}, h("span.wl-point-icon", { html: icon(ic), "aria-hidden": "true" }), h("span", { text: t(key) })))),
      h("p.wl-note", { text: t("youNeedAnAccountForStoringMusicPreferences") }),
      h("div.wl-actions.center", {}, logIn, signUp));
    root.classList.add("wl-intro");
    return { root, focus: () => signUp };
  },

  terms(welcome, o) {
    const head = header(welcome, "Terms of use", o);
    const frame = h("iframe.wl-terms", { title: t("welcome.terms.frame"), src: o.url ?? "about:blank", sandbox: "", referrerpolicy: "no-referrer" });
    const agree = h("button.wl-btn.primary", { type: "button", onclick: () => welcome.request("agree") }, t("Yes, I agree"));
    const back = h("button.wl-btn", { type: "button", onclick: () => welcome.request("navigateBack") }, t("back"));
    const root = card(head.el, h("p.wl-lead", { text: t("welcome.terms.lead") }), frame, h("div.wl-actions", {}, back, agree));
    root.classList.add("wl-wide");
    return {
      root,
      focus: () => agree,
      update(s) {
        head.back.hidden = !s.canGoBack;
        if (s.url && frame.getAttribute("src") !== s.url) frame.src = s.url;
      },
    };
  },

  signUp(welcome, o) {
    const head = header(welcome, "welcome.signUp.title", o);
    const user = h("input.wl-input", { type: "text", autocomplete: "username", spellcheck: "false", required: true, maxlength: "24" });
    const pass = h("input.wl-input", { type: "password", autocomplete: "new-password", required: true, maxlength: "32" });
    const confirm = h("input.wl-input", { type: "password", autocomplete: "new-password", required: true, maxlength: "32" });
    const birth = select(o.birthYears, o.values?.birthYear);
    const sex = select(o.sexes, o.values?.sex);
    const country = select(o.countries, o.values?.country);
    const submit = busyButton("register");
    const back = h("button.wl-btn", { type: "button", onclick: () => welcome.request("navigateBack") }, t("back"));
    // The program checks the form and shows its own alerts.
    const form = h("form.wl-form", { novalidate: true },
      field("wl-user", "welcome.userName", user, "Alphanumerics and within 3-24 characters."),
      field("wl-pass", "welcome.password", pass, "a-z,A-Z,0-9,!@#$%^&*?_ and within 6~32 characters."),
      field("wl-confirm", "welcome.passwordConfirm", confirm),
      h("div.wl-row3", {},
        field("wl-birth", "welcome.birthYear", birth, null, true),
        field("wl-sex", "welcome.sex", sex, null, true),
        field("wl-country", "welcome.country", country)),
      h("div.wl-actions", {}, back, submit.el));
    form.addEventListener("submit", (e) => {
      e.preventDefault();
      if (welcome.state?.busy) return;
      welcome.request("register", {
        user: user.value, pass: pass.value, passConfirm: confirm.value,
        birthYear: birth.value, sex: sex.value, country: country.value,
      });
    });
    const root = card(head.el, h("p.wl-lead", { text: t("welcome.signUp.lead") }), form);
    let filled = false;
    return {
      root,
      focus: () => user,
      update(s) {
        head.back.hidden = !s.canGoBack;
        back.disabled = !!s.busy;
        submit.set(s.busy);
        for (const el of [user, pass, confirm, birth, sex, country]) el.disabled = !!s.busy;
        setOptions(birth, s.birthYears, filled ? undefined : s.values?.birthYear);
        setOptions(sex, s.sexes, filled ? undefined : s.values?.sex);
        setOptions(country, s.countries, filled ? undefined : s.values?.country);
        if (!filled && s.values?.user) user.value = s.values.user;
        filled = true;
      },
    };
  },

  logIn(welcome, o) {
    const head = header(welcome, "welcome.logIn.title", o);
    const user = h("input.wl-input", { type: "text", autocomplete: "username", spellcheck: "false" });
    const pass = h("input.wl-input", { type: "password", autocomplete: "current-password" });
    const submit = busyButton("logIn");
    const back = h("button.wl-btn", { type: "button", onclick: () => welcome.request("navigateBack") }, t("back"));
    const form = h("form.wl-form", { novalidate: true },
      field("wl-login-user", "welcome.userName", user),
      field("wl-login-pass", "welcome.password", pass),
      h("div.wl-actions", {}, back, submit.el));
    form.addEventListener("submit", (e) => {
      e.preventDefault();
      if (!welcome.state?.busy) welcome.request("logIn", { user: user.value, pass: pass.value });
    });
    const root = card(head.el, h("p.wl-lead", { text: t("welcome.logIn.lead") }), form);
    let filled = false;
    return {
      root,
      focus: () => user,
      update(s) {
        head.back.hidden = !s.canGoBack;
        back.disabled = !!s.busy;
        submit.set(s.busy);
        user.disabled = pass.disabled = !!s.busy;
        if (!filled && s.values?.user) user.value = s.values.user;
        filled = true;
      },
    };
  },

  analysis(welcome, o) {
    const head = header(welcome, "analyzingYourPreferences", o);
    const fill = h("div.wl-bar-fill");
    const bar = h("div.wl-bar.big", { role: "progressbar", "aria-valuemin": "0", "aria-valuemax": "100" }, fill);
    const text1 = h("p.wl-progress-text", { "aria-live": "polite" });
    const text2 = h("p.wl-progress-text.strong", { "aria-live": "polite" });
    const start = h("button.wl-btn.primary.large", { type: "button", onclick: () => welcome.request("getStarted") }, t("getStarted"));
    const lead = h("p.wl-lead", { text: t("welcome.analysis.lead") });
    const art = h("div.wl-analysis-art", { html: LOGO });
    const root = card(head.el, art, lead, bar, text1, text2, h("div.wl-actions.center", {}, start));
    root.classList.add("wl-analysis");
    return {
      root,
      focus: () => (start.hidden ? head.title : start),
      update(s) {
        head.back.hidden = !s.canGoBack;
        head.title.textContent = s.title ?? "";
        bar.setAttribute("aria-label", s.title ?? "");
        text1.textContent = s.progressText ?? "";
        text2.textContent = s.recommendText ?? "";
        text1.hidden = !s.progressText;
        text2.hidden = !s.recommendText;
        const determinate = typeof s.fraction === "number";
        bar.classList.toggle("indeterminate", !determinate);
        if (determinate) {
          const pct = Math.round(Math.max(0, Math.min(1, s.fraction)) * 100);
          fill.style.width = `${pct}%`;
          bar.setAttribute("aria-valuenow", String(pct));
        } else {
          fill.style.width = "";
          bar.removeAttribute("aria-valuenow");
        }
        const wasHidden = start.hidden;
        start.hidden = !s.ready;
        lead.hidden = !!s.ready;
        root.classList.toggle("ready", !!s.ready);
        if (wasHidden && s.ready) requestAnimationFrame(() => start.focus());
      },
    };
  },
};
