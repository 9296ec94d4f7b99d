// The extension's own page, framed by the web page it serves: the page hands
// it MessagePorts and its requests go from here to the tab's native host
// directly. Compared with the content script's route, no message is turned
// into JSON on the page's main thread nor parsed and written again by the
// background script, which is most of what a large upload costs there.
//
// The page posts {type: "zorva.plugin.connect"} with a MessagePort to this
// frame's window. Through the port it sends requests with an "id" and gets
// {reply}, {accepted: id} once a request went to the host, and
// {disconnected: why} when the host ended (the next request starts another).
// {pieces: true} with a MessagePort opens a port for the pieces of an upload,
// which a worker of the page sends itself: its requests are answered by
// {accepted} and {disconnected} only, and {end: true} closes it.
//
// Only the page's top-level document may use it, and the origin the host
// sees is the one the browser attaches to that document's messages, never a
// value the page sends. The background script keeps one host per tab: this
// frame starts one only once that script made it the tab's, and a newer page
// or frame of the tab closes it.
//
// Only Chromium's pages learn of this frame (content.js says why).
const HOST = "org.zorva.plugin";
const PREFIX = "zorva.plugin.";
const NEWER = "a newer page of this tab uses the host";
const UNANSWERED = "the extension's background script did not answer";

/**
 * The ports of the page: a client's port -> true, an upload's port -> false.
 * A reply goes to every client, each keeps its own ids.
 */
const ports = new Map();
let origin = null;
let native = null;
let closed = false;
/** The port to the background script while this frame is registered there. */
let background = null;
/** Resolves true once the background script made this frame's host the tab's. */
let admitted = null;
/** Requests go to the host one after the other, each once the frame may start it. */
let order = Promise.resolve();

function toPorts(data, clientsOnly = false) {
  for (const [port, client] of ports) if (client || !clientsOnly) port.postMessage(data);
}

function nativePort() {
  if (native) return native;
  const port = chrome.runtime.connectNative(HOST);
  port.onMessage.addListener((reply) => toPorts({ reply }, true));
  port.onDisconnect.addListener(() => {
    const error = chrome.runtime.lastError?.message ?? "the host ended";
    if (native === port) native = null;
    toPorts({ disconnected: error });
  });
  native = port;
  return port;
}

function serve(port, { data, ports: given }) {
  if (data?.end === true) {
    ports.delete(port);
    port.close();
  } else if (data?.pieces === true && given[0]) {
    accept(given[0], false);
  } else if (typeof data === "object" && data !== null) {
    order = order.then(() => admission()).then((mayStart) => forward(port, data, mayStart));
  }
}

function forward(port, message, mayStart) {
  if (!mayStart) {
    port.postMessage({ disconnected: closed ? NEWER : UNANSWERED });
    return;
  }
  // Whatever "origin" the page put into its message is replaced.
  nativePort().postMessage({ ...message, origin });
  port.postMessage({ accepted: String(message.id ?? "") });
}

function accept(port, client) {
  ports.set(port, client);
  port.onmessage = (event) => serve(port, event);
  if (client) port.postMessage({ ready: true });
}

/** Whether this frame may use a host: registered first, when it is not yet. */
function admission() {
  if (closed) return false;
  if (!background) register();
  return admitted;
}

/**
 * Tells the background script of this frame's tab, and when the frame was
 * made. It answers {admitted: true} when this frame's host is the tab's,
 * else, now or when a newer page of the tab takes over, {close: true}. When
 * the browser stops that script, a frame that holds a host tells it again.
 */
function register() {
  background = chrome.runtime.connect({ name: "frame" });
  background.postMessage({ since: performance.timeOrigin });
  admitted = new Promise((resolve) => {
    background.onMessage.addListener((message) => {
      if (message.admitted === true) return resolve(true);
      end();
      resolve(false);
    });
    background.onDisconnect.addListener(() => {
      background = null;
      if (!native || closed) {
        // Stopped before it answered: no host is started without its word.
        resolve(false);
        return;
      }
      register();
      resolve(admitted);
    });
  });
}

function end() {
  closed = true;
  native?.disconnect();
  native = null;
  toPorts({ disconnected: NEWER });
}

// Top-level pages only, as for the content script: the user approves the
// site in the address bar, and the frames inside it (advertisements, widgets)
// are no part of that.
const framedByTopPage = window.parent !== window && window.parent === window.top;

window.addEventListener("message", (event) => {
  if (!framedByTopPage || event.source !== window.parent) return;
  if (event.data?.type !== `${PREFIX}connect` || !event.ports[0]) return;
  // An opaque origin (a sandboxed page) names no site a user could approve.
  if (event.origin === "null" || (origin !== null && event.origin !== origin)) return;
  origin ??= event.origin;
  accept(event.ports[0], true);
});
