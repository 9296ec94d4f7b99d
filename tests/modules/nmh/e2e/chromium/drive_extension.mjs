// Opens the test page in Debian's headless Chromium with the extension
// loaded, waits until the page has talked to the host through it, and prints
// what the page shows as JSON on standard output. The browser inherits this
// process's environment, and so does the host it starts.
// Usage: node drive_extension.mjs <page url> <user data dir> <extension dir> <screenshot>
import { chromium } from "playwright-core";

const [pageUrl, userDataDir, extensionDir, screenshot] = process.argv.slice(2);
const TIMEOUT = 120_000;

const context = await chromium.launchPersistentContext(userDataDir, {
  executablePath: "/usr/bin/chromium",
  headless: true,
  // Playwright turns extensions off unless told otherwise.
  ignoreDefaultArgs: ["--disable-extensions"],
  args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-first-run",
         `--disable-extensions-except=${extensionDir}`, `--load-extension=${extensionDir}`],
});
try {
  const page = context.pages()[0] ?? (await context.newPage());
  page.setDefaultTimeout(TIMEOUT);
  const problems = [];
  page.on("pageerror", (error) => problems.push(String(error)));

  await page.goto(pageUrl);
  await page.waitForSelector("#status:is(.done, .failed)");
  const shown = await page.evaluate(() => Object.fromEntries(
    ["status", "version", "echo", "origin"].map((id) => [id, document.getElementById(id).textContent])));
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log(JSON.stringify({ ...shown, problems }));
} finally {
  await context.close();
}
