// Opens the example signing page in Debian's headless Chromium or Firefox ESR
// with the browser extension installed, lists the certificates, signs the
// given files with the certificate whose subject names the given key and
// prints what the page shows, with the signatures in base64, as JSON on
// standard output. Whoever runs it answers the host's windows. Before that,
// with "probe" set, the page tries the WebSocket endpoint at that address,
// as a public site meets Local Network Access; and the client echoes a text
// of 3,000,000 characters through the extension, which the host answers in
// pieces, and verifies the signature through it. With "attempts" set, the
// page is tests/modules/nmh/e2e/page/framed.html instead, and what it shows
// is printed as {"attempts": ...}. With "restart" set (Chromium), the page
// frames the extension a second time after the browser stopped the
// extension's background script, and what became of the hosts started from
// the "program" path is printed as {"restart": ...}.
// Usage: node drive_sign_page.mjs '{"browser": "chromium"|"firefox", "page": url,
//          "profile": dir, "extension": dir, "certificate": subject part,
//          "files": [path, ...], "screenshot": path, "probe": ws url, "echo": false,
//          "args": [...], "attempts": true, "restart": true, "program": path}'
import { readdirSync, readlinkSync } from "node:fs";
import puppeteer from "puppeteer-core";

const job = JSON.parse(process.argv[2]);
// The host's dialogs wait for the user up to 120 s each.
const TIMEOUT = 150_000;
const settled = (done) => `#message.ok:is([data-done="${done}"]), #message.failed`;

function launch() {
  const common = { headless: true, userDataDir: job.profile, protocolTimeout: TIMEOUT };
  if (job.browser === "firefox")
    return puppeteer.launch({ ...common, browser: "firefox",
                              executablePath: "/usr/bin/firefox-esr" });
  return puppeteer.launch({
    ...common, executablePath: "/usr/bin/chromium", pipe: true, enableExtensions: [job.extension],
    args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
           "--disable-component-update", "--disable-sync", "--no-first-run", ...(job.args ?? [])],
  });
}

// In the page: what connecting to the WebSocket endpoint alone gives.
async function probe(url) {
  const { connect } = await import("/clients/js/zorva-client.js");
  return connect({ transport: "websocket", url })
    .then((client) => (client.close(), "connected"), (error) => error.name);
}

// In the page: whether a reply the host sends in pieces comes back whole
// through the extension, by which route, and the origin the host took for a
// request that names another; the extension's announcement as the page got
// it, and the schemes of the frames in the page once the client connected.
async function echo() {
  const { connect, makeRequest } = await import("/clients/js/zorva-client.js");
  const announced = await new Promise((resolve) => {
    window.addEventListener("message", ({ source, data }) =>
      source === window && data?.type === "zorva.plugin.ready" && resolve(JSON.stringify(data)));
    window.postMessage({ type: "zorva.plugin.hello" }, window.location.origin);
  });
  const client = await connect({ transport: "extension" });
  const frames = [...document.querySelectorAll("iframe")]
    .map((frame) => new URL(frame.src).protocol);
  const text = "0123456789".repeat(300_000);
  const forged = "https://forged.example";
  const request = { ...makeRequest("system", "echo", text), origin: forged };
  request.meta.data = { origin: forged };
  const reply = await client.request(request);
  return { transport: client.transportName, framed: client.transport.framed, announced, frames,
           same: reply.method.result === text, origin: reply.meta.data.origin };
}

// In the page: the client's verdict on the first offered signature and the
// chosen document, through the extension.
async function verify() {
  const { connect } = await import("/clients/js/zorva-client.js");
  const client = await connect({ transport: "extension" });
  const link = document.querySelector("#signatures a");
  const signature = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
  const verdict = await client.verify(signature, document.getElementById("files").files[0]);
  return { valid: verdict.valid, signer: verdict.signer };
}

// In the page: the offered signatures, read back from their links.
async function signatures() {
  const links = [...document.querySelectorAll("#signatures a")];
  return Promise.all(links.map(async (link) => {
    const bytes = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
    return { name: link.download, base64: bytes.toBase64() };
  }));
}

// The framed.html page: what its frames got from the extension's frame.
async function attempts(page) {
  await page.waitForSelector("#result:not(:empty)");
  return { attempts: JSON.parse(await page.$eval("#result", (result) => result.textContent)) };
}

// In the page: a client through the extension's frame that got the host's
// versions, kept as window.first.
async function firstFrame() {
  const { connect } = await import("/clients/js/zorva-client.js");
  window.first = await connect({ transport: "extension" });
  return window.first.transport.framed;
}

// In the page: a second frame of the extension, as a page that frames it
// anew gets it (a module of its own keeps a frame of its own), and the
// host's answer through it; then whether the first client's host ended, and
// what a request of the first client gets afterwards.
async function secondFrame() {
  const { makeRequest } = await import("/clients/js/zorva-client.js");
  const { ExtensionTransport, findExtension } =
    await import("/clients/js/extension_transport.js?second");
  const second = await ExtensionTransport.open(await findExtension(1000), 1000);
  const answer = new Promise((resolve) => (second.onMessage = resolve));
  second.send({ ...makeRequest("system", "version"), id: "second" });
  const reply = await answer;
  await new Promise((resolve) => setTimeout(resolve, 500));
  const firstLost = window.first.closed?.why ?? "";
  const later = await (async () => window.first.request(makeRequest("system", "version")))()
    .then((message) => (message.error ? "error" : "answered"), (error) => error.why);
  return { framed: second.framed, answered: !reply.error && reply.id === "second", firstLost,
           later };
}

/** Processes running the given program. */
function running(program) {
  return readdirSync("/proc").filter((entry) => /^\d+$/.test(entry)).filter((entry) => {
    try {
      return readlinkSync(`/proc/${entry}/exe`) === program;
    } catch {
      return false;
    }
  }).length;
}

/** The count of running programs once it is down to one, or after 10 s. */
async function settledCount(program) {
  const deadline = Date.now() + 10_000;
  while (running(program) > 1 && Date.now() < deadline)
    await new Promise((resolve) => setTimeout(resolve, 100));
  return running(program);
}

async function restartBetweenFrames(browser, page) {
  await page.waitForSelector("#status:is(.ok, .failed)");
  const firstFramed = await page.evaluate(firstFrame);
  const background = await browser.waitForTarget((target) =>
    target.type() === "service_worker" && target.url().startsWith("chrome-extension://"));
  await (await background.worker()).close();
  const second = await page.evaluate(secondFrame);
  return { restart: { firstFramed, ...second, hosts: await settledCount(job.program) } };
}

async function signOn(page) {
  await page.waitForSelector("#status:is(.ok, .failed)");
  const probed = job.probe ? await page.evaluate(probe, job.probe) : "";
  const echoed = job.echo === false ? null : await page.evaluate(echo);

  await page.click("#list");
  await page.waitForSelector(settled("list"));
  const certificates = await page.$$eval("#certificates tbody tr", (rows) =>
    rows.map((row) => ({ id: row.dataset.id, subject: row.cells[1].textContent })));
  const chosen = certificates.find((entry) => entry.subject.includes(job.certificate));
  if (chosen) {
    await page.click(`#certificates tr[data-id="${chosen.id}"] input`);
    await (await page.$("#files")).uploadFile(...job.files);
    await page.click("#sign");
    await page.waitForSelector(settled("sign"));
  }
  const shown = await page.evaluate(() => ({
    status: document.getElementById("status").textContent,
    statusOk: document.getElementById("status").classList.contains("ok"),
    message: document.getElementById("message").textContent,
    error: document.getElementById("message").dataset.error ?? "",
    digests: [...document.querySelectorAll("#digests code")].map((code) => code.textContent),
  }));
  const verified = shown.message.startsWith("Signed") ? await page.evaluate(verify) : null;
  await page.screenshot({ path: job.screenshot, fullPage: true });
  return { ...shown, probed, echoed, verified, certificates, chosen,
           signatures: await page.evaluate(signatures) };
}

const browser = await launch();
try {
  if (job.browser === "firefox") await browser.installExtension(job.extension);
  const page = (await browser.pages())[0] ?? (await browser.newPage());
  page.setDefaultTimeout(TIMEOUT);
  const problems = [];
  page.on("pageerror", (error) => problems.push(String(error)));
  await page.goto(job.page);
  const shown = job.attempts ? await attempts(page)
    : job.restart ? await restartBetweenFrames(browser, page) : await signOn(page);
  console.log(JSON.stringify({ ...shown, problems }));
} finally {
  await browser.close();
}
