// The top-level page (?child=<this page on another origin>) asks the
// extension's frame for a port, as the client does, then frames the child
// and tells it the extension frame's address. The child, a frame of a
// foreign origin as an advertisement would be, tries the two ways a frame
// has: the top page's extension frame, and one of its own. Each attempt is
// "ready" when the extension's frame answered, else "refused"; the top page
// shows {top, child: {topsFrame, ownFrame}} as JSON.
import { findExtension } from "/clients/js/extension_transport.js";

const WAIT = 1500;

/** Offers a port to a window as the client does; whether it answers. */
function attempt(target, frameUrl) {
  const { port1, port2 } = new MessageChannel();
  return new Promise((resolve) => {
    setTimeout(() => resolve("refused"), WAIT);
    port1.onmessage = ({ data }) => data?.ready && resolve("ready");
    target.postMessage({ type: "zorva.plugin.connect" }, new URL(frameUrl).origin, [port2]);
  });
}

function framed(url) {
  return new Promise((resolve) => {
    const frame = document.createElement("iframe");
    frame.addEventListener("load", () => resolve(frame), { once: true });
    frame.src = url;
    document.body.append(frame);
  });
}

async function asTop() {
  const { frame: frameUrl } = await findExtension(WAIT);
  const extensionFrame = await framed(frameUrl);
  const top = await attempt(extensionFrame.contentWindow, frameUrl);
  const child = await framed(new URL(window.location.href).searchParams.get("child"));
  const report = new Promise((resolve) =>
    window.addEventListener("message", (event) => event.source === child.contentWindow &&
      resolve(event.data)));
  child.contentWindow.postMessage({ frameUrl }, "*");
  const result = { top, child: await report };
  document.getElementById("result").textContent = JSON.stringify(result);
}

async function asChild() {
  const { frameUrl } = await new Promise((resolve) =>
    window.addEventListener("message", ({ data }) => resolve(data), { once: true }));
  const others = Array.from({ length: window.top.frames.length }, (_, i) => window.top.frames[i])
    .filter((other) => other !== window);
  const topsFrame = (await Promise.all(others.map((other) => attempt(other, frameUrl))))
    .includes("ready") ? "ready" : "refused";
  const ownFrame = await attempt((await framed(frameUrl)).contentWindow, frameUrl);
  window.parent.postMessage({ topsFrame, ownFrame }, "*");
}

if (window === window.top) asTop();
else asChild();
