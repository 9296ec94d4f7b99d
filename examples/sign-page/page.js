// Example page: lists the certificates of the user's tokens, signs the chosen
// files (the host asks the user in its own window) and offers each .p7s for
// download. Every failure a user can meet gets its own message.
import {
  connect, CancelledError, ConnectionLostError, DocumentChangedError, HostError,
  HostNotRunningError, LimitExceededError, NoDataError, OriginRefusedError, PinLockedError,
  RequestError, TimedOutError, TimeStampError, TokenError, TokenMissingError, UnsupportedError,
} from "../../clients/js/zorva-client.js";

const byId = (id) => document.getElementById(id);
const query = new URLSearchParams(location.search);
// ?transport=extension|websocket forces one; ?ws= names another endpoint.
const connectOptions = {
  transport: query.get("transport") || undefined,
  url: query.get("ws") || undefined,
};

/** @type {import("../../clients/js/zorva-client.js").Client|null} */
let client = null;

function show(element, text, ok) {
  element.textContent = text;
  element.className = `${element.className.split(" ")[0]} ${ok ? "ok" : "failed"}`;
}

/** What the user should read and do for each failure, most specific first. */
const EXPLANATIONS = [
  [HostNotRunningError, () => "The signing program does not answer. Start it; if it is running, " +
    "your browser may have blocked this site from reaching it: allow access to devices on your " +
    "local network when the browser asks (Chrome's Local Network Access), or install the " +
    "browser extension."],
  [ConnectionLostError, () => "The connection to the signing program was lost. Start the " +
    "program again if it has stopped, then try again."],
  [OriginRefusedError, () => "This site is not allowed to use the signing program. Allow it " +
    "when the program asks, then try again."],
  [TimedOutError, () => "Signing was cancelled: nobody answered the signing program's window " +
    "in time. Try again and confirm within two minutes."],
  [CancelledError, () => "Signing was cancelled in the signing program's window."],
  [PinLockedError, () => "The token's PIN is locked after too many wrong PINs. Unlock it with " +
    "your administrator PIN (PUK), then try again."],
  [TokenMissingError, () => "No token was found. Insert your token and try again."],
  [TokenError, (error) => `The token failed: ${error.message}. Check the token and try again.`],
  [DocumentChangedError, () => "The document changed on its way to the signing program. Choose " +
    "it again and sign once more."],
  [NoDataError, () => "A chosen document is empty: there is nothing to sign."],
  [LimitExceededError, (error) => `The signing program cannot take this: ${error.message}.`],
  [TimeStampError, (error) => `The time stamp could not be added: ${error.message}.`],
  [UnsupportedError, (error) => `The signing program cannot do this: ${error.message}. ` +
    "It may be older than this page expects."],
  [RequestError, (error) => `This page sent a request the signing program refused: ` +
    `${error.message}.`],
  [HostError, (error) => `The signing program failed: ${error.message}.`],
];

function explain(error) {
  const found = EXPLANATIONS.find(([Type]) => error instanceof Type);
  return found ? found[1](error) : error.message;
}

function failed(error) {
  show(byId("message"), explain(error), false);
  byId("message").dataset.error = error.name;
  delete byId("message").dataset.done;
}

function working(text) {
  show(byId("message"), text, true);
  delete byId("message").dataset.done;
}

/** A step that went well: "list" or "sign", for whoever watches the page. */
function succeeded(step, text) {
  show(byId("message"), text, true);
  byId("message").dataset.done = step;
  delete byId("message").dataset.error;
}

function lost(error) {
  show(byId("status"), `The signing program is not reachable (${error.message}).`, false);
}

/** The connection, opened again when it was lost or the host ended it (it ends idle ones). */
async function host() {
  if (!client || client.closed) {
    client = null;
    try {
      client = await connect(connectOptions);
    } catch (error) {
      lost(error);
      throw error;
    }
    client.onclose = lost;
    const through = client.transportName === "extension" ? "the browser extension" : client.url;
    show(byId("status"), `The signing program is running (through ${through}).`, true);
  }
  return client;
}

async function onList() {
  const rows = byId("certificates").tBodies[0];
  rows.replaceChildren();
  working("Asking the signing program for certificates…");
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
    if (certificates.length) succeeded("list", `${certificates.length} certificate(s) can sign.`);
    else show(byId("message"), "No token holds a certificate that can sign.", false);
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

/** The digits the consent window shows, for the user to compare. */
function showDigests(files, sha256) {
  byId("digests").replaceChildren(...files.map((file, index) => {
    const item = document.createElement("li");
    const digits = Object.assign(document.createElement("code"), {
      textContent: sha256[index].slice(0, 16),
    });
    item.append(`${file.name}: SHA-256 begins with `, digits,
                " (the signing program's window must show the same)");
    return item;
  }));
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
  byId("digests").replaceChildren();
  working("Uploading… then confirm in the signing program's window.");
  try {
    const signatures = await (await host()).sign(files, {
      certificate: chosen.value,
      onHashed: (sha256) => showDigests(files, sha256),
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
    succeeded("sign", `Signed ${signatures.length} document(s).`);
  } catch (error) {
    failed(error);
  } finally {
    byId("sign").disabled = false;
  }
}

byId("list").addEventListener("click", onList);
byId("sign").addEventListener("click", onSign);
host().catch(failed);
