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
//
// The announcement says {channel: true}: a page may then post
// {type: "zorva.plugin.channel"} with a MessagePort and send its requests
// through that port instead, as the messages of the port's own. A request
// posted to the window is copied once more for every listener the page has
// (the client's own among them); one through the port only for this script.
//
// In Chromium the announcement also names the extension's frame {frame: url}
// (frame.js): a page that embeds it sends its requests there, past this
// script and the background one, which is the faster route for large
// uploads. Only Chromium gets it, told by the address's scheme: there the
// frame reaches the host itself, and the address is the same for every user
// (the id comes from the extension's key). Firefox keeps a frame inside a web
// page from native messaging, and names each installation by an id of its
// own, by which any page could tell the user apart: no page learns it.
const PREFIX = "zorva.plugin.";
const VERSION = chrome.runtime.getManifest().version;
const FRAME = chrome.runtime.getURL("frame.html");
const OFFERED = FRAME.startsWith("chrome-extension://") ? { frame: FRAME } : {};

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
    announce();
    return;
  }
  if (type === `${PREFIX}channel`) {
    const port = event.ports[0];
    if (port) port.onmessage = ({ data }) => forward(data);
    return;
  }
  if (type === `${PREFIX}request`) forward(event.data.message);
});

function forward(message) {
  if (typeof message !== "object" || message === null) return;
  connectedWorker().postMessage(message);
}

function announce() {
  toPage({ type: `${PREFIX}ready`, version: VERSION, channel: true, ...OFFERED });
}

announce();
