// Drives bench/page/ in Debian's headless Chromium for bench/page_bench.py:
// prints one JSON line per step on standard output ({"browser": pid}, then
// {"signing": true}, {"signed": ...} and {"phases": ...}), which the
// benchmark uses to answer the host's window and read processor times; after
// "signed" it waits for a line on standard input, the benchmark's word that
// it has read the processes' times and memory, before it goes on.
// The automation's network domain stays off: it copies every WebSocket frame
// into protocol events, work a user's browser never does.
// Usage: node page_driver.mjs '{"page", "profile", "extension", "file",
//          "transport", "url", "certificate", "phases"}'
import { createInterface } from "node:readline";
import puppeteer from "puppeteer-core";

const job = JSON.parse(process.argv[2]);
const say = (entry) => console.log(JSON.stringify(entry));
const input = createInterface({ input: process.stdin });
const told = input[Symbol.asyncIterator]();

const browser = await puppeteer.launch({
  executablePath: "/usr/bin/chromium",
  headless: true,
  pipe: true,
  userDataDir: job.profile,
  networkEnabled: false,
  enableExtensions: job.extension ? [job.extension] : false,
  protocolTimeout: 600_000,
  args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-first-run"],
});
try {
  say({ browser: browser.process().pid });
  const page = (await browser.pages())[0] ?? (await browser.newPage());
  page.setDefaultTimeout(600_000);
  await page.goto(job.page);
  await page.waitForFunction(() => window.bench);
  await (await page.$("#file")).uploadFile(job.file);
  say({ signing: true });
  say({ signed: await page.evaluate((options) => window.bench.sign(options), job) });
  // Until then the page and the host it started must still be there.
  await told.next();
  // Afterwards: the renderer's peak memory is the signing's own.
  if (job.phases) say({ phases: await page.evaluate(() => window.bench.phases()) });
} catch (error) {
  say({ error: String(error?.stack ?? error) });
  process.exitCode = 1;
} finally {
  input.close();
  await browser.close();
}
