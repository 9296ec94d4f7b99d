// Lets the page talk to the host through window.postMessage.
//
// This script announces itself with {type: "zorva.plugin.ready", version} when
// the page starts, and again whenever the page posts {type: "zorva.plugin.hello"}
// (a page's script may start listening after the first announcement).
//
// The page posts {type: "zorva.plugin.request", message} to its own window,
// where message is a request with an "id". Once the extension has handed a
// request to the host, {type: "zorva.plugin.accepted", id} says so: a page that
// sends much keeps a bounded amount not yet accepted. Every reply comes back
// as {type: "zorva.plugin.reply", message} with the request's "id"; a large
// reply comes as several replies, numbered by "meta"."chunk" of
// "meta"."chunks". {type: "zorva.plugin.disconnected", error} tells the page
// that its host has ended: requests still waiting get no reply, and the next
// request starts a new host.
const PREFIX = "zorva.plugin.";
const VERSION = chrome.runtime.getManifest().version;

let worker = null;

function toPage(data) {
  window.postMessage(data, window.location.origin);
}

function connectedWorker() {
  if (worker) return worker;
  worker = chrome.runtime.connect({ name: "page" });
  worker.onMessage.addListener((data) => {
    if ("reply" in data) toPage({ type: `${PREFIX}reply`, message: data.reply });
    else if ("accepted" in data) toPage({ type: `${PREFIX}accepted`, id: data.accepted });
    else if ("disconnected" in data)
      toPage({ type: `${PREFIX}disconnected`, error: data.disconnected });
  });
  // The browser stopped the extension's background, and with it this tab's host.
  worker.onDisconnect.addListener(() => {
    worker = null;
    toPage({ type: `${PREFIX}disconnected`, error: "the extension's worker stopped" });
  });
  return worker;
}

window.addEventListener("message", (event) => {
  // Only the page itself, not a frame inside it, and not our own messages.
  if (event.source !== window) return;
  const type = event.data?.type;
  if (type === `${PREFIX}hello`) {
    toPage({ type: `${PREFIX}ready`, version: VERSION });
    return;
  }
  if (type !== `${PREFIX}request`) return;
  const message = event.data.message;
  if (typeof message !== "object" || message === null) return;
  connectedWorker().postMessage(message);
});

toPage({ type: `${PREFIX}ready`, version: VERSION });
