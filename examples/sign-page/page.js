// Example page: lists the certificates of the user's tokens, signs the chosen
// files (the host asks the user in its own window) and offers each .p7s for
// download. Every failure a user can meet gets its own message.
import {
  connect, CancelledError, HostError, HostNotRunningError, OriginRefusedError, PinLockedError,
  TokenMissingError,
} from "../../clients/js/zorva-client.js";

const byId = (id) => document.getElementById(id);
const hostUrl = new URLSearchParams(location.search).get("ws") || "ws://127.0.0.1:9000";

/** @type {import("../../clients/js/zorva-client.js").Client|null} */
let client = null;

function show(element, text, ok) {
  element.textContent = text;
  element.className = `${element.className.split(" ")[0]} ${ok ? "ok" : "failed"}`;
}

/** What the user should read and do for each failure. */
function explain(error) {
  if (error instanceof HostNotRunningError)
    return "The signing program does not answer. Start it; if it is running, your browser may " +
      "have blocked this site from reaching it: allow access to devices on your local network " +
      "when the browser asks (Chrome's Local Network Access).";
  if (error instanceof OriginRefusedError)
    return "This site is not allowed to use the signing program. Allow it when the program " +
      "asks, then try again.";
  if (error instanceof CancelledError)
    return "Signing was cancelled: the confirmation window was closed or waited too long.";
  if (error instanceof PinLockedError)
    return "The token's PIN is locked after too many wrong PINs. Unlock it with your " +
      "administrator PIN (PUK), then try again.";
  if (error instanceof TokenMissingError)
    return "No token was found. Insert your token and try again.";
  if (error instanceof HostError) return `The signing program failed: ${error.message}`;
  return error.message;
}

function failed(error) {
  show(byId("message"), explain(error), false);
  byId("message").dataset.error = error.name;
}

/** The connection, opened again when the host ended it (it ends idle ones). */
async function host() {
  if (!client || client.closed) {
    client = await connect(hostUrl);
    show(byId("status"), "The signing program is running.", true);
  }
  return client;
}

async function onList() {
  const rows = byId("certificates").tBodies[0];
  rows.replaceChildren();
  show(byId("message"), "Asking the signing program for certificates…", true);
  try {
    const certificates = await (await host()).certificates();
    for (const [index, certificate] of certificates.entries()) {
      const row = rows.insertRow();
      row.dataset.id = certificate.id;
      const choice = Object.assign(document.createElement("input"), {
        type: "radio", name: "certificate", value: certificate.id, checked: index === 0,
      });
      row.insertCell().append(choice);
      for (const key of ["subject", "issuer", "validUntil", "token"])
        row.insertCell().textContent = certificate[key];
    }
    byId("sign").disabled = certificates.length === 0;
    show(byId("message"), certificates.length ? `${certificates.length} certificate(s) can sign.`
                                           : "No token holds a certificate that can sign.",
         certificates.length > 0);
  } catch (error) {
    failed(error);
  }
}

function offerDownload(row, name, bytes) {
  const link = document.createElement("a");
  link.href = URL.createObjectURL(new Blob([bytes], { type: "application/pkcs7-signature" }));
  link.download = `${name}.p7s`;
  link.textContent = link.download;
  row.insertCell().append(link);
}

async function onSign() {
  const files = [...byId("files").files];
  const chosen = document.querySelector("input[name=certificate]:checked");
  if (!files.length || !chosen) {
    show(byId("message"), "Choose a certificate and at least one document first.", false);
    return;
  }
  const rows = byId("signatures").tBodies[0];
  rows.replaceChildren();
  byId("progress").value = 0;
  byId("sign").disabled = true;
  show(byId("message"), "Uploading… then confirm in the signing program's window.", true);
  try {
    const signatures = await (await host()).sign(files, {
      certificate: chosen.value,
      level: byId("level").value,
      onProgress: (sent, total) => {
        byId("progress").value = total ? sent / total : 1;
        byId("progress-text").textContent = `${Math.round((100 * sent) / (total || 1))} %`;
      },
    });
    for (const { name, bytes } of signatures) {
      const row = rows.insertRow();
      row.insertCell().textContent = name;
      offerDownload(row, name, bytes);
      row.insertCell().textContent = `${bytes.length} bytes`;
    }
    show(byId("message"), `Signed ${signatures.length} document(s).`, true);
    delete byId("message").dataset.error;
  } catch (error) {
    failed(error);
  } finally {
    byId("sign").disabled = false;
  }
}

byId("list").addEventListener("click", onList);
byId("sign").addEventListener("click", onSign);
host().catch(failed);
