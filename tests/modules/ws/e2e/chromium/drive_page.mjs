// Opens the example page in Debian's headless Chromium, connects it to the
// host, echoes a text, uploads the given files and prints what the page shows
// as JSON on standard output.
// Usage: node drive_page.mjs <page url> <user data dir> <screenshot> <file>...
import { chromium } from "playwright-core";

const [pageUrl, userDataDir, screenshot, ...files] = process.argv.slice(2);
const TIMEOUT = 120_000;

const context = await chromium.launchPersistentContext(userDataDir, {
  executablePath: "/usr/bin/chromium",
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-first-run"],
});
try {
  const page = context.pages()[0] ?? (await context.newPage());
  page.setDefaultTimeout(TIMEOUT);
  const problems = [];
  page.on("pageerror", (error) => problems.push(String(error)));

  await page.goto(pageUrl);
  await page.waitForSelector("#status.ok");
  await page.waitForFunction(() => document.getElementById("version").textContent.includes("host"));

  await page.fill("#echo-text", "echo from Chromium");
  await page.click("#echo");
  await page.waitForFunction(() => document.getElementById("echo-result").textContent !== "");

  await page.setInputFiles("#files", files);
  await page.click("#upload");
  await page.waitForSelector("#upload-status.ok:text-matches('^done')");

  const shown = await page.evaluate(() => ({
    version: JSON.parse(document.getElementById("version").textContent),
    echo: document.getElementById("echo-result").textContent,
    progress: document.getElementById("progress").value,
    digests: [...document.querySelectorAll("#digests tbody tr")].map((row) =>
      Object.fromEntries([...row.cells].map((cell) => [cell.dataset.key, cell.textContent]))),
  }));
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log(JSON.stringify({ ...shown, problems }));
} finally {
  await context.close();
}
