// Lets the page talk to the host through window.postMessage.
//
// The page posts {type: "zorva.plugin.request", message} to its own window,
// where message is a request with an "id". Every reply comes back as
// {type: "zorva.plugin.reply", message} with the request's "id"; a large
// reply comes as several replies, numbered by "meta"."chunk" of
// "meta"."chunks". {type: "zorva.plugin.disconnected", error} tells the page
// that its host has ended: requests still waiting get no reply, and the next
// request starts a new host.
const REQUEST = "zorva.plugin.request";

let worker = null;

function toPage(data) {
  window.postMessage(data, window.location.origin);
}

function connectedWorker() {
  if (worker) return worker;
  worker = chrome.runtime.connect({ name: "page" });
  worker.onMessage.addListener((data) => {
    if ("reply" in data) toPage({ type: "zorva.plugin.reply", message: data.reply });
    else toPage({ type: "zorva.plugin.disconnected", error: data.disconnected });
  });
  // The browser stopped the service worker, and with it this tab's host.
  worker.onDisconnect.addListener(() => {
    worker = null;
    toPage({ type: "zorva.plugin.disconnected", error: "the extension's worker stopped" });
  });
  return worker;
}

window.addEventListener("message", (event) => {
  // Only the page itself, not a frame inside it, and not our own replies.
  if (event.source !== window || event.data?.type !== REQUEST) return;
  const message = event.data.message;
  if (typeof message !== "object" || message === null) return;
  connectedWorker().postMessage(message);
});
