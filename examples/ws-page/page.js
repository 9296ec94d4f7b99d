// Example page: connects to the host, shows its versions, echoes a text and
// uploads files for "digest".
import { connect, makeRequest } from "../../clients/js/zorva-client.js";

const $ = (id) => document.getElementById(id);
const params = new URLSearchParams(location.search);
$("url").value = params.get("ws") || "ws://127.0.0.1:9000";

/** @type {import("../../clients/js/zorva-client.js").Client|null} */
let client = null;

function status(element, text, ok) {
  element.textContent = text;
  element.className = `status ${ok ? "ok" : "failed"}`;
}

/** The result of a request; a failed reply becomes an exception. */
async function ask(method, data = "") {
  const reply = await client.request(makeRequest("system", method, data));
  if (reply.error) throw new Error(`${reply.code}: ${reply.errorMessage}`);
  return reply.method.result;
}

async function onConnect() {
  try {
    client = await connect({ transport: "websocket", url: $("url").value });
    client.onclose = () => {
      status($("status"), "disconnected", false);
      for (const id of ["echo", "upload"]) $(id).disabled = true;
    };
    status($("status"), "connected", true);
    for (const id of ["echo", "upload"]) $(id).disabled = false;
    $("version").textContent = JSON.stringify(JSON.parse(await ask("version")), null, 2);
  } catch (error) {
    status($("status"), error.message, false);
  }
}

async function onEcho() {
  try {
    $("echo-result").textContent = await ask("echo", $("echo-text").value);
  } catch (error) {
    $("echo-result").textContent = error.message;
  }
}

async function onUpload() {
  const files = $("files").files;
  const rows = $("digests").tBodies[0];
  rows.replaceChildren();
  $("progress").value = 0;
  status($("upload-status"), "uploading…", true);
  try {
    const reply = await client.uploadFiles(files, {
      onProgress: (sent, total) => ($("progress").value = total ? sent / total : 1),
    });
    if (reply.error) throw new Error(`${reply.code}: ${reply.errorMessage}`);
    $("progress").value = 1;
    for (const digest of JSON.parse(reply.method.result)) {
      const row = rows.insertRow();
      row.dataset.name = digest.name;
      for (const key of ["name", "size", "md5", "sha256"]) {
        const cell = row.insertCell();
        cell.textContent = digest[key];
        cell.dataset.key = key;
      }
    }
    status($("upload-status"), `done: ${files.length} file(s)`, true);
  } catch (error) {
    status($("upload-status"), error.message, false);
  }
}

$("connect").addEventListener("click", onConnect);
$("echo").addEventListener("click", onEcho);
$("upload").addEventListener("click", onUpload);
if (params.has("ws")) onConnect();
