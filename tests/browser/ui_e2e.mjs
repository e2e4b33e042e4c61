// The window in headless Chromium against the program and the sandbox, as a
// listener uses it: the home page, a genre's mix growing and playing, the
// control panel following forward and backward, favoriting and caching, the
// detail page, banning an artist, the artist search.
//
//   node ui_e2e.mjs URL
//
// MIRELUNE_BIN and the environment of the program's profile let it post a
// comment the way another listener would.
import { chromium } from "playwright-core";
import { execFileSync } from "node:child_process";
import assert from "node:assert/strict";

const url = process.argv[2];
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
  headless: true,
  args: ["--no-sandbox", "--disable-gpu"],
});
const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
const page = await context.newPage();
page.setDefaultTimeout(20000);
const errors = [];
page.on("pageerror", (e) => errors.push(e.message));

const step = async (name, body) => {
  process.stdout.write(`${name} ... `);
  await body();
  console.log("ok");
};
const home = () => page.frameLocator(".modal iframe");
const detail = () => page.frameLocator("#detail iframe");
const top = () => page.locator(".stack > .screen:not([hidden])");
const side = (i) => page.locator(".side-list .side-item").nth(i);
const rows = () => top().locator(".row");
const rowTitles = async () => top().locator(".row-artist").allTextContents();

try {
  await page.goto(url);

  await step("the home page lists genres, today's artists and new releases", async () => {
    await home().locator(".card.genre").first().waitFor();
    assert.ok((await home().locator(".card.genre").count()) >= 2);
    assert.equal(await home().locator(".card.artist").count(), 3);
    assert.ok((await home().locator(".card.release").count()) >= 1);
  });

  await step("the welcome tip comes once and goes with its button", async () => {
    const tip = page.locator(".tip");
    await tip.waitFor();
    assert.equal(await tip.getAttribute("data-kind"), "welcome");
    assert.equal((await tip.locator(".tip-title").textContent()).trim(), "Welcome to Mirelune");
    await tip.locator(".tip-done").click();
    await tip.waitFor({ state: "detached" });
    // The tips still to come are recorded and put away before each action.
    await page.evaluate(() => {
      window.__tips = [];
      new MutationObserver((changes) => {
        for (const c of changes) for (const n of c.addedNodes) if (n.dataset?.kind) window.__tips.push(n.dataset.kind);
      }).observe(document.getElementById("tip-layer"), { childList: true });
    });
    await page.addLocatorHandler(tip, async () => { await tip.locator(".tip-done").click(); },
      { noWaitAfter: true });
  });

  let firstTitle;
  await step("a genre opens its mix, which grows and plays; forward and backward follow", async () => {
    await home().locator(".card.genre").first().click();
    await rows().nth(3).waitFor();
    firstTitle = (await top().locator(".row-title").first().textContent()).trim();
    // Rows may still arrive above it: the row is found by its title.
    await top().locator(".row", { has: page.locator(".row-title", { hasText: firstTitle }) })
      .first().locator(".row-main").click();
    // The panel names the track once it starts (before, it says nothing plays).
    await page.waitForFunction((t) => document.querySelector(".cp-title")?.textContent.trim() === t,
      firstTitle, { timeout: 30000 });
    await page.locator(".cp-next").click();
    await page.waitForFunction((t) => {
      const now = document.querySelector(".cp-title")?.textContent.trim();
      return now && now !== t && now !== "Nothing playing";
    }, firstTitle);
    await page.locator(".cp-prev").click();
    await page.waitForFunction((t) => document.querySelector(".cp-title")?.textContent.trim() === t,
      firstTitle);
  });

  let favoriteArtist;
  await step("a track is favorited and cached, its progress shown, and its artist is a favorite", async () => {
    // Whether a caching bar ever shows on any row.
    await page.evaluate(() => {
      window.__sawCaching = false;
      new MutationObserver(() => {
        if (document.querySelector(".row-cache:not([hidden])")) window.__sawCaching = true;
      }).observe(document.body, { subtree: true, childList: true, attributes: true });
    });
    // Found again by its title: rows may still arrive above it.
    const title = (await rows().nth(1).locator(".row-title").textContent()).trim();
    const row = top().locator(".row", { has: page.locator(".row-title", { hasText: title }) }).first();
    favoriteArtist = (await row.locator(".row-artist").textContent()).trim();
    await row.locator(".row-more").click();
    await page.locator(".row-menu .act-favorite").click();
    await row.locator(".mark.fav").waitFor();
    await page.waitForFunction(() => window.__sawCaching, null, { timeout: 30000 });
    await side(1).click();
    await top().locator(".ls-item", { hasText: favoriteArtist }).first().waitFor();
    await page.locator("#back").click();
    // Playing and caching each brought their tip, once.
    assert.deepEqual(await page.evaluate(() => window.__tips), ["playbackControl", "caching"]);
  });

  await step("the detail page shows metadata, links and comments, never a long video comment", async () => {
    const row = top().locator(".row", { has: page.locator(".src-20") }).first();
    const artist = (await row.locator(".row-artist").textContent()).trim();
    const title = (await row.locator(".row-title").textContent()).trim();
    execFileSync(process.env.MIRELUNE_BIN, ["comment", artist, title, "Heard it first in the window"]);
    await row.locator(".row-more").click();
    await page.locator(".row-menu .act-info").click();
    await detail().locator("#artist-name", { hasText: artist }).waitFor();
    // The artist came: the pane no longer says it is loading.
    await page.locator("#detail .detail-loading").waitFor({ state: "hidden" });
    assert.equal((await detail().locator("#track-title").textContent()).trim(), title);
    await detail().locator("#links .link-lastfm").waitFor();
    await detail().locator("#links .link-amazonSearch").waitFor();
    await detail().locator("#links .link-youTubeVideo").waitFor();
    await detail().locator("#comments-mirelune .comment-text", { hasText: "Heard it first in the window" }).waitFor();
    // The video's comments arrived (a fifth of the sandbox's videos have none).
    await detail().locator("#comments-youtube li").first().waitFor();
    const texts = await detail().locator("#comments-youtube .comment-text").allTextContents();
    assert.ok(texts.every((t) => [...t].length <= 99), texts);
    assert.ok(!texts.some((t) => t.includes("long road trip")), texts);
  });

  await step("a banned artist leaves the mix", async () => {
    if (await page.locator(".row-menu").count()) await page.keyboard.press("Escape");
    await page.locator(".row-menu").waitFor({ state: "detached" });
    const artists = await rowTitles();
    const banned = artists.find((a) => a !== favoriteArtist) ?? artists[0];
    const row = top().locator(".row", { has: page.locator(".row-artist", { hasText: banned }) }).first();
    await row.locator(".row-more").click();
    await page.locator(".row-menu .act-action").click();
    await page.locator(".dialog .dlg-btn.destructive").click();
    await page.locator(".dialog .dlg-btn.default").click();
    await page.waitForFunction((name) =>
      ![...document.querySelectorAll(".stack > .screen:not([hidden]) .row-artist")]
        .some((e) => e.textContent.trim() === name), banned);
  });

  await step("the artist search opens an artist's top tracks", async () => {
    await page.locator("#search-input").click();
    await page.keyboard.type(favoriteArtist.slice(0, 4));
    await page.locator(".search-result.selected").waitFor();
    const chosen = (await page.locator(".search-result.selected > span").last().textContent()).trim();
    const screens = await page.locator(".stack > .screen").count();
    await page.keyboard.press("Enter");
    await page.waitForFunction((n) => document.querySelectorAll(".stack > .screen").length > n,
      screens);
    await top().locator(".row").first().waitFor({ timeout: 30000 });
    const artists = await rowTitles();
    assert.ok(artists.every((a) => a === chosen), [chosen, artists]);
  });

  assert.deepEqual(errors, []);
} finally {
  await browser.close();
}
