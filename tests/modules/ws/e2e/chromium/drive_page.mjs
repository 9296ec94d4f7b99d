// Opens the example page in Debian's headless Chromium, connects it to the
// host, echoes a text, uploads the given files and prints what the page shows
// as JSON on standard output.
// Usage: node drive_page.mjs <page url> <user data dir> <screenshot> <file>...
import { launchChromium } from "./browser.mjs";

const [pageUrl, userDataDir, screenshot, ...files] = process.argv.slice(2);

// Runs in the page: the client library's own promises, beyond what the page shows.
async function exerciseClient(hostUrl) {
  const { connect, makeRequest, errorOf } = await import("/clients/js/zorva-client.js");
  const typed = Object.fromEntries(["20003", "164", "224", "50", "225", "20025", "160", "20005",
                                    "20006", "20015", "20019", "20020", "20026", "20002", "99999"]
    .map((code) => [code, errorOf({ code, errorMessage: "message", error: "text" }).name]));
  typed.pending = errorOf({ code: "20001", error: "text",
    errorMessage: "20001 Application 'text': consent: an action is already pending" }).name;
  typed.general = errorOf({ code: "20001", errorMessage: "message", error: "text" }).name;
  const timedOut = errorOf({ code: "20003", error: "20003 Application 'consent: no answer " +
                             "from the user in time, or no display to ask on'" }).name;
  const empty = errorOf({ code: "20006", errorMessage: "Данные не найдены" });
  const english = { message: empty.message, errorMessage: empty.errorMessage };
  const refusedUrl = hostUrl.replace(/:\d+$/, ":1");
  const refused = await connect(refusedUrl)
    .then(() => "connected", (error) => `${error.name}: ${error.message}`);

  const client = await connect(hostUrl);
  const texts = ["a", "b", "c"];
  const replies = await Promise.all(texts.map((text) => client.request(makeRequest("system", "echo", text))));
  const big = "0123456789".repeat(300_000);
  const joined = (await client.request(makeRequest("system", "echo", big))).method.result === big;

  // A text that is no message ends the connection: the request after it is never answered.
  client.transport.socket.send("no message");
  const dropped = await client.request(makeRequest("system", "echo", "lost"))
    .then(() => "answered", (error) => `${error.name}: ${error.message}`);
  return { refused, echoes: replies.map((reply) => reply.method.result), joined, dropped, typed,
           timedOut, english };
}
const TIMEOUT = 120_000;

const context = await launchChromium(userDataDir);
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
  const client = await page.evaluate(exerciseClient, new URL(pageUrl).searchParams.get("ws"));
  console.log(JSON.stringify({ ...shown, client, problems }));
} finally {
  await context.close();
}
