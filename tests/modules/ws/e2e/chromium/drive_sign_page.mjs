// Opens the signing example page in Debian's headless Chromium, lists the
// certificates, signs the given files with the certificate whose subject
// names the given key, saves each offered .p7s and prints what the page shows
// as JSON on standard output. Whoever runs it answers the host's dialogs.
// Usage: node drive_sign_page.mjs '{"page": url, "profile": dir, "out": dir,
//          "certificate": subject part, "files": [path, ...], "level": "CAdES-T" (optional),
//          "augment": "CAdES-LT" (optional: the first signature is then brought to that
//          level through the client library and saved as augmented.p7s), "screenshot": path}'
import { launchChromium } from "./browser.mjs";
import { writeFile } from "node:fs/promises";
import path from "node:path";

const job = JSON.parse(process.argv[2]);
// The host's dialogs wait for the user up to 120 s each.
const TIMEOUT = 150_000;

// Runs in the page: the first signature offered, brought up a level by the client.
async function augmentFirst({ hostUrl, level }) {
  const { connect } = await import("/clients/js/zorva-client.js");
  const client = await connect(hostUrl);
  try {
    const link = document.querySelector("#signatures a");
    const signature = await (await fetch(link.href)).blob();
    const result = await client.augment(signature, {
      document: document.getElementById("files").files[0], level });
    return { level: result.level, signature: result.signature };
  } catch (error) {
    return { error: `${error.name}: ${error.message}` };
  } finally {
    client.close();
  }
}

const settled = (done) => `#message.ok:text-matches('${done}'), #message.failed`;

const context = await launchChromium(job.profile, { acceptDownloads: true });
try {
  const page = context.pages()[0] ?? (await context.newPage());
  page.setDefaultTimeout(TIMEOUT);
  const problems = [];
  page.on("pageerror", (error) => problems.push(String(error)));
  await page.goto(job.page);
  await page.waitForSelector("#status.ok");

  await page.click("#list");
  await page.waitForSelector(settled("can sign"));
  const certificates = await page.$$eval("#certificates tbody tr", (rows) =>
    rows.map((row) => ({ id: row.dataset.id, subject: row.cells[1].textContent })));
  const chosen = certificates.find((entry) => entry.subject.includes(job.certificate));
  const signatures = [];
  if (chosen) {
    await page.check(`#certificates tr[data-id="${chosen.id}"] input`);
    await page.setInputFiles("#files", job.files);
    if (job.level) await page.selectOption("#level", job.level);
    await page.click("#sign");
    await page.waitForSelector(settled("^Signed"));
    for (const link of await page.$$("#signatures a")) {
      const [download] = await Promise.all([page.waitForEvent("download"), link.click()]);
      const saved = path.join(job.out, download.suggestedFilename());
      await download.saveAs(saved);
      signatures.push(saved);
    }
  }
  // The client's own verdict on the first signature, over the same endpoint.
  const verified = signatures.length === 0 ? null : await page.evaluate(async () => {
    const { connect } = await import("/clients/js/zorva-client.js");
    const url = new URLSearchParams(location.search).get("ws");
    const client = await connect({ transport: "websocket", url });
    const link = document.querySelector("#signatures a");
    const signature = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
    const verdict = await client.verify(signature, document.getElementById("files").files[0]);
    return { valid: verdict.valid, signer: verdict.signer };
  });
  let augmented = null;
  if (job.augment && signatures.length) {
    augmented = await page.evaluate(augmentFirst, {
      hostUrl: new URL(job.page).searchParams.get("ws"), level: job.augment });
    if (augmented.signature) {
      augmented.path = path.join(job.out, "augmented.p7s");
      await writeFile(augmented.path, Buffer.from(augmented.signature, "base64"));
      delete augmented.signature;
    }
  }
  const shown = await page.evaluate(() => ({
    status: document.getElementById("status").textContent,
    statusOk: document.getElementById("status").classList.contains("ok"),
    message: document.getElementById("message").textContent,
    error: document.getElementById("message").dataset.error ?? "",
    progress: document.getElementById("progress").value,
  }));
  await page.screenshot({ path: job.screenshot, fullPage: true });
  console.log(JSON.stringify({ ...shown, verified, certificates, chosen, signatures, augmented,
                                problems }));
} finally {
  await context.close();
}
