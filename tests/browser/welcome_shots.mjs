// Screenshots of the welcome window against the mock (MOCK_WELCOME=1):
// node welcome_shots.mjs OUT_DIR. Light and dark, driven by clicks and keys.
import { chromium } from "playwright-core";
import { spawn } from "node:child_process";
import path from "node:path";
import fs from "node:fs";
import { fileURLToPath } from "node:url";

const here = path.dirname(fileURLToPath(import.meta.url));
const out = process.argv[2] ?? "/tmp/welcome-shots";
fs.mkdirSync(out, { recursive: true });
const port = 8790 + Math.floor(Math.random() * 100);
const mock = spawn("node", [path.join(here, "mock_server.mjs"), String(port)], {
  env: { ...process.env, MOCK_WELCOME: "1", MOCK_WELCOME_TICK: "120" }, stdio: "ignore",
});
await new Promise((r) => setTimeout(r, 800));
const browser = await chromium.launch({ executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium" });
try {
  for (const scheme of ["light", "dark"]) {
    const page = await browser.newPage({ viewport: { width: 1100, height: 760 }, colorScheme: scheme });
    const shot = (name) => page.screenshot({ path: path.join(out, `${name}-${scheme}.png`) });
    await page.goto(`http://127.0.0.1:${port}/`);
    await page.waitForSelector(".wl-intro");
    await page.waitForTimeout(300);
    await shot("1-welcome");
    await page.click("text=Sign Up");
    await page.waitForSelector(".wl-terms");
    await page.waitForTimeout(400);
    await shot("2-terms");
    await page.click("text=Yes, I agree");
    await page.waitForSelector("#wl-user");
    await page.keyboard.type("listener");
    await page.keyboard.press("Tab");
    await page.waitForTimeout(200);
    await shot("3-signup");
    await page.evaluate(() => { document.querySelector("#wl-user").value = ""; });
    await page.click("button[type=submit]");
    await page.waitForSelector(".dialog");
    await page.waitForTimeout(200);
    await shot("4-alert");
    await page.keyboard.press("Enter");
    await page.fill("#wl-user", "listener");
    await page.click("button[type=submit]");
    await page.waitForSelector(".wl-analysis");
    await page.waitForTimeout(700);
    await shot("5-analysis");
    await page.waitForSelector(".wl-analysis.ready", { timeout: 15000 });
    await page.waitForTimeout(300);
    await shot("6-ready");
    await page.evaluate(() => window.mireluneBridge.send("welcome", "app://openSheet?kind=inputPreferences"));
    await page.waitForSelector(".prefs-sheet");
    await page.waitForTimeout(300);
    await shot("7-artists");
    await page.keyboard.press("Escape");
    await page.evaluate(() => window.mireluneBridge.send("welcome", "app://openSheet?kind=musicLibrary"));
    await page.waitForSelector(".library-sheet");
    await page.waitForTimeout(300);
    await shot("8-library");
    await page.keyboard.press("Escape");
    await page.waitForTimeout(200);
    await page.click("text=Get Started");
    await page.waitForTimeout(400);
    await shot("9-closed");
    await page.close();
  }
} finally {
  await browser.close();
  mock.kill();
}
