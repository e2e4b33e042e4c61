// Screenshots of every screen of the window, light and dark, at 1280x800 and
// 900x600, driven only through the window itself (so it works against the
// program as well as against the mock).
//
//   node screens.mjs OUT_DIR [URL]
//
// Without URL the mock (mock_server.mjs) is started on a free port. Uses the
// system Chromium (CHROMIUM=/path to change it); no browser is downloaded.
import { chromium } from "playwright-core";
import { spawn } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";

const here = path.dirname(fileURLToPath(import.meta.url));
const outDir = process.argv[2];
if (!outDir) {
  console.error("usage: node screens.mjs OUT_DIR [URL]");
  process.exit(2);
}
fs.mkdirSync(outDir, { recursive: true });

async function startMock() {
  const child = spawn(process.execPath, [path.join(here, "mock_server.mjs"), "0"], { stdio: ["ignore", "pipe", "inherit"] });
  const url = await new Promise((resolve, reject) => {
    let text = "";
    child.stdout.on("data", (d) => {
      text += d;
      const m = /listening on (\S+)/.exec(text);
      if (m) resolve(m[1]);
    });
    child.on("exit", (code) => reject(new Error(`mock exited with ${code}`)));
  });
  child.stdout.resume();
  return { url, stop: () => child.kill() };
}

const mock = process.argv[3] ? null : await startMock();
const url = process.argv[3] ?? mock.url;
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
  headless: true,
  args: ["--no-sandbox", "--disable-gpu"],
});

const sizes = [
  { name: "1280x800", width: 1280, height: 800 },
  { name: "900x600", width: 900, height: 600 },
];
const schemes = ["light", "dark"];
let failures = 0;
let taken = 0;

async function run(size, scheme, last) {
  const context = await browser.newContext({ viewport: { width: size.width, height: size.height }, colorScheme: scheme, locale: process.env.SHOT_LOCALE ?? "en-US" });
  const page = await context.newPage();
  page.setDefaultTimeout(8000);
  page.on("pageerror", (e) => console.error(`[${size.name} ${scheme}] page error:`, e.message));
  const narrow = size.width < 1100;
  let n = 0;
  const shot = async (name, fn) => {
    n++;
    try {
      await fn();
      await page.waitForTimeout(350);
      const file = path.join(outDir, `${size.name}-${scheme}-${String(n).padStart(2, "0")}-${name}.png`);
      await page.screenshot({ path: file });
      taken++;
    } catch (e) {
      failures++;
      console.error(`[${size.name} ${scheme}] ${name}: ${e.message.split("\n")[0]}`);
    }
  };
  const topScreen = () => page.locator(".stack > .screen:not([hidden])");
  const side = (i) => page.locator(".side-list .side-item").nth(i);

  await page.goto(url);
  await shot("home", async () => {
    // Whatever the program shows now, start from the home page.
    await side(0).waitFor({ timeout: 10000 });
    await side(0).click();
    const home = page.frameLocator(".modal iframe");
    await home.locator(".card.genre").first().waitFor({ timeout: 10000 });
    await page.waitForTimeout(900);
  });
  await shot("playlist-growing", async () => {
    await page.frameLocator(".modal iframe").locator(".card.genre").first().click();
    await topScreen().locator(".row").nth(2).waitFor({ timeout: 10000 });
    await page.waitForTimeout(1800);
  });
  await shot("row-playing", async () => {
    await topScreen().locator(".row-main").nth(1).click();
    await page.waitForTimeout(900);
  });
  await shot("row-menu", async () => {
    await topScreen().locator(".row").nth(2).click({ button: "right" });
    await page.locator(".row-menu").waitFor({ timeout: 5000 });
  });
  await shot("action-sheet", async () => {
    await page.locator(".row-menu .act-action").click();
    await page.locator(".dialog").waitFor({ timeout: 5000 });
  });
  await shot("similar-artists", async () => {
    await page.locator(".dialog button", { hasText: "Related artists" }).click();
    await topScreen().locator(".ls-item").first().waitFor({ timeout: 5000 });
  });
  await page.locator("#back").click();
  await page.waitForTimeout(300);
  await shot("comment-sheet", async () => {
    await topScreen().locator(".row").nth(2).click({ button: "right" });
    await page.locator(".row-menu .act-comment").click();
    await page.locator(".comment-sheet").waitFor({ timeout: 5000 });
    await page.keyboard.type("Lovely song for a rainy day");
  });
  await page.keyboard.press("Escape");
  await shot("search", async () => {
    await page.locator("#search-input").click();
    await page.keyboard.type("a");
    await page.locator(".search-popover:not([hidden])").waitFor({ timeout: 5000 });
  });
  await page.keyboard.press("Escape");
  if (narrow) {
    await shot("detail-drawer", async () => {
      await page.locator("#detail-toggle").click();
      await page.waitForTimeout(400);
    });
    await page.keyboard.press("Escape");
  }
  await shot("favorites", async () => {
    await side(1).click();
    await topScreen().locator(".ls-item").first().waitFor({ timeout: 5000 });
  });
  await shot("processing-status", async () => {
    await side(4).click();
    await page.waitForTimeout(300);
    await topScreen().locator(".ls-item").first().waitFor({ timeout: 5000 });
  });
  await shot("music-profile", async () => {
    await side(3).click();
    await page.locator(".modal .ls-image img").waitFor({ timeout: 5000 });
    await page.waitForTimeout(600);
  });
  await shot("music-profile-loading", async () => {
    // By keyboard: to the last shape and choose it.
    await page.locator(".modal .ls-item").first().focus();
    await page.keyboard.press("End");
    await page.keyboard.press("Enter");
    await page.waitForTimeout(450);
  });
  await shot("alert", async () => {
    await page.locator("#app-menu-button").click();
    await page.locator("#app-menu .menu-item").first().click();
    await page.locator(".dialog").waitFor({ timeout: 5000 });
  });
  await page.keyboard.press("Escape");
  // The tips, asked for again from the menu (the program's, not the mock's):
  // last, as they then come back on every screen.
  if (last && !mock) {
    await shot("tip", async () => {
      await page.locator("#app-menu-button").click();
      await page.locator("#app-menu .menu-item", { hasText: "Show tips again" }).click();
      await side(1).click();
      await side(3).click();
      await page.locator(".tip").waitFor({ timeout: 5000 });
    });
  }
  await context.close();
}

try {
  for (const size of sizes) {
    for (const scheme of schemes) await run(size, scheme, size === sizes.at(-1) && scheme === schemes.at(-1));
  }
} finally {
  await browser.close();
  mock?.stop();
}
console.log(`${taken} screenshots in ${outDir}, ${failures} failed`);
process.exit(failures ? 1 : 0);
