// Opens a flowpage site in headless Chromium and checks it as a reader
// would: every page loads without a console error, every local link and
// image resolves (anchors included), the navigation column leads to the
// next page, and the search box finds a word of a nested page.
//
//   node flowpage_browser_check.js SITE_FOLDER SEARCH_WORD EXPECTED_PAGE
//
// Prints one JSON object: {"errors": [...], "dead": [...], "search": [...], ...}.
"use strict";
const fs = require("fs");
const path = require("path");
const { pathToFileURL, fileURLToPath } = require("url");
const puppeteer = require(process.env.PUPPETEER_MODULE || "puppeteer");

const [site, word, expectedPage] = process.argv.slice(2);

function pagesOf(folder) {
  const found = [];
  for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
    const full = path.join(folder, entry.name);
    if (entry.isDirectory() && !entry.name.startsWith(".")) found.push(...pagesOf(full));
    else if (entry.isFile() && entry.name.endsWith(".html")) found.push(full);
  }
  return found;
}

(async () => {
  const browser = await puppeteer.launch({
    executablePath: process.env.PUPPETEER_EXECUTABLE_PATH || "/usr/bin/chromium",
    headless: true,
    args: process.getuid && process.getuid() === 0 ? ["--no-sandbox"] : [],
  });
  const report = { pages: 0, errors: [], dead: [], search: [], navigated: null, requests: [] };
  const page = await browser.newPage();
  page.on("console", (message) => {
    if (message.type() === "error") report.errors.push(`${page.url()}: ${message.text()}`);
  });
  page.on("pageerror", (error) => report.errors.push(`${page.url()}: ${error.message}`));
  page.on("requestfailed", (request) => report.errors.push(`${request.url()}: ${request.failure().errorText}`));
  page.on("request", (request) => {
    if (!request.url().startsWith("file:") && !request.url().startsWith("data:")) report.requests.push(request.url());
  });
  const idsOf = new Map();
  async function ids(file) {
    if (!idsOf.has(file)) {
      const other = await browser.newPage();
      await other.goto(pathToFileURL(file).href);
      idsOf.set(file, await other.evaluate(() => Array.from(document.querySelectorAll("[id], a[name]"), (e) => e.id || e.name)));
      await other.close();
    }
    return idsOf.get(file);
  }
  for (const file of pagesOf(site)) {
    report.pages += 1;
    await page.goto(pathToFileURL(file).href, { waitUntil: "load" });
    const links = await page.evaluate(() => {
      const out = [];
      for (const a of document.querySelectorAll("a[href]")) out.push(a.href);
      for (const a of document.querySelectorAll("a")) {
        const x = a.getAttribute("xlink:href");
        if (x) out.push(new URL(x, document.baseURI).href);
      }
      for (const img of document.querySelectorAll("img")) {
        out.push(img.src);
        if (!img.complete || img.naturalWidth === 0) out.push("broken-image:" + img.src);
      }
      return out;
    });
    for (const link of links) {
      if (link.startsWith("broken-image:")) {
        report.dead.push(`${file}: ${link}`);
        continue;
      }
      if (!link.startsWith("file:")) continue;
      const url = new URL(link);
      const target = fileURLToPath(url.href.split("#")[0]);
      if (!fs.existsSync(target) || !fs.statSync(target).isFile()) {
        report.dead.push(`${file}: ${link}`);
      } else if (url.hash && target.endsWith(".html")) {
        const anchor = decodeURIComponent(url.hash.slice(1));
        if (!(await ids(target)).includes(anchor)) report.dead.push(`${file}: ${link} (no anchor)`);
      }
    }
  }
  // The navigation: from the index, the "next" link and a column entry.
  await page.goto(pathToFileURL(path.join(site, "index.html")).href);
  await Promise.all([page.waitForNavigation(), page.click(".page-turn a.next")]);
  report.navigated = path.relative(site, fileURLToPath(page.url()));
  // The search box: shown by its script, it lists the page holding the word.
  await page.waitForSelector(".site-search:not([hidden]) input");
  await page.type(".site-search input", word);
  await page.waitForSelector(".site-search ol li");
  report.search = await page.evaluate(() => Array.from(document.querySelectorAll(".site-search ol a"), (a) => a.href));
  for (const handle of await page.$$(".site-search ol a")) {
    const href = await handle.evaluate((a) => a.href);
    if (!href.split("#")[0].endsWith(expectedPage)) continue;
    await Promise.all([page.waitForNavigation(), handle.click()]);
    report.opened = path.relative(site, fileURLToPath(page.url().split("#")[0]));
    break;
  }
  if (process.env.SCREENSHOT) {
    await page.setViewport({ width: 1200, height: 900 });
    await page.screenshot({ path: process.env.SCREENSHOT });
  }
  await browser.close();
  process.stdout.write(JSON.stringify(report));
})().catch((error) => {
  process.stdout.write(JSON.stringify({ crashed: String(error && error.stack || error) }));
  process.exit(1);
});
