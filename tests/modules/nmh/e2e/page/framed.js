// The top-level page (?child=<this page on another origin>) finds the
// extension as the client does and tries the route it offers: its frame
// where the announcement names one (Chromium), else its content script
// (Firefox). Then it frames the child, a frame of a foreign origin as an
// advertisement would be, and tells it the extension frame's address, if
// any. The child tries every way a frame has: the top page's extension frame
// and one of its own (where it has an address), and the content script, of
// the top page's window and of its own. The top page shows
// {top: "frame"|"content script"|"refused", child: {topsFrame, ownFrame,
// contentScript}} as JSON, each of the child's "ready" when the extension
// answered it, "refused" when not, "none" with no address to try.
import { findExtension } from "/clients/js/extension_transport.js";

const PREFIX = "zorva.plugin.";
const WAIT = 1500;

/** Offers a port to a window as the client does; whether it answers. */
function attempt(target, frameUrl) {
  const { port1, port2 } = new MessageChannel();
  return new Promise((resolve) => {
    setTimeout(() => resolve("refused"), WAIT);
    port1.onmessage = ({ data }) => data?.ready && resolve("ready");
    target.postMessage({ type: `${PREFIX}connect` }, new URL(frameUrl).origin, [port2]);
  });
}

/** Whether this window's content script announces itself when asked. */
function announced() {
  return new Promise((resolve) => {
    setTimeout(() => resolve(false), WAIT);
    window.addEventListener("message", ({ source, data }) =>
      source === window && data?.type === `${PREFIX}ready` && resolve(true));
    window.postMessage({ type: `${PREFIX}hello` }, window.location.origin);
  });
}

/** Posts a request to the content script as a page does; resolves once it was accepted. */
function accepted(id) {
  return new Promise((resolve) => {
    window.addEventListener("message", ({ source, data }) =>
      source === window && data?.type === `${PREFIX}accepted` && data.id === id && resolve());
    window.postMessage({ type: `${PREFIX}request`, message: { id } }, window.location.origin);
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

async function topRoute(frameUrl) {
  if (!frameUrl) return accepted("top").then(() => "content script");
  const answer = await attempt((await framed(frameUrl)).contentWindow, frameUrl);
  return answer === "ready" ? "frame" : "refused";
}

async function asTop() {
  const { frame: frameUrl } = await findExtension(WAIT);
  const top = await topRoute(frameUrl);
  // Whatever the content script answers from now on answers the child.
  let answeredChild = false;
  window.addEventListener("message", ({ source, data }) => {
    if (source !== window) return;
    const type = data?.type;
    if (type === `${PREFIX}ready` || (type === `${PREFIX}accepted` && data.id === "child"))
      answeredChild = true;
  });
  const child = await framed(new URL(window.location.href).searchParams.get("child"));
  const report = new Promise((resolve) =>
    window.addEventListener("message", ({ source, data }) =>
      source === child.contentWindow && data?.attempts && resolve(data.attempts)));
  child.contentWindow.postMessage({ frameUrl }, "*");
  const seen = await report;
  // The content script takes the window's messages in turn, and the background
  // script its port's: an answer to the child's would come before this one.
  await accepted("after the child");
  const contentScript = answeredChild || seen.contentScript === "ready" ? "ready" : "refused";
  const result = { top, child: { ...seen, contentScript } };
  document.getElementById("result").textContent = JSON.stringify(result);
}

async function throughFrames(frameUrl) {
  if (!frameUrl) return { topsFrame: "none", ownFrame: "none" };
  const others = Array.from({ length: window.top.frames.length }, (_, i) => window.top.frames[i])
    .filter((other) => other !== window);
  const topsFrame = (await Promise.all(others.map((other) => attempt(other, frameUrl))))
    .includes("ready") ? "ready" : "refused";
  const ownFrame = await attempt((await framed(frameUrl)).contentWindow, frameUrl);
  return { topsFrame, ownFrame };
}

async function asChild() {
  const { frameUrl } = await new Promise((resolve) =>
    window.addEventListener("message", ({ data }) => resolve(data), { once: true }));
  const frames = await throughFrames(frameUrl);
  // The top page's content script, asked as its own page would ask it; the
  // top page tells whether it answered.
  window.top.postMessage({ type: `${PREFIX}hello` }, "*");
  window.top.postMessage({ type: `${PREFIX}request`, message: { id: "child" } }, "*");
  const contentScript = (await announced()) ? "ready" : "refused";
  window.parent.postMessage({ attempts: { ...frames, contentScript } }, "*");
}

if (window === window.top) asTop();
else asChild();
