// The browser extension as a transport of the client. Its content script
// carries messages between this page's window and the extension, which
// starts one native-messaging host for the tab (extension/content.js
// describes the messages); when the extension offers its frame (in
// Chromium), the client
// embeds it and sends its requests there instead (extension/frame.js), past
// the content and background scripts. The browser limits what one message
// may carry, so a large request travels in pieces (as uploads do) and a
// large reply comes in pieces, as over WebSocket.
import { ConnectionLostError } from "./errors.js";

const PREFIX = "zorva.plugin.";
/** Sending waits while the extension has not yet passed on this much. */
const HIGH_WATER = 4 * 1024 * 1024;
const WHERE = "the browser extension";
/**
 * Raw bytes per upload piece through the content script (256 KiB of
 * base64). Chromium serializes an extension message on the sending thread,
 * the page's main thread here, at some 30 MB/s: a 1 MiB piece would hold it
 * for 40 ms, a quarter of it for 10, which stays short of 50 on a busy
 * machine too. Through the frame a piece is only copied to the frame's
 * process, and pieces have the uploads' usual size.
 */
const PIECE_BYTES = 192 * 1024;
/** Only an extension's own page may receive the page's requests; group 1 is its origin. */
const EXTENSION_PAGE = /^(chrome-extension:\/\/[^/]+)\//;

/**
 * @typedef {Object} Announcement
 * @property {string} version the extension's
 * @property {boolean} channel whether it takes requests through a port of
 *     their own (extension/content.js)
 * @property {string} frame the address of the extension's frame where it
 *     reaches the host itself (Chromium), or ""
 */

/**
 * Whether the extension's content script is in this page: it announces
 * itself when the page starts and answers a "hello".
 * @param {number} timeout ms
 * @returns {Promise<Announcement|null>} null without the extension
 */
export function findExtension(timeout) {
  return new Promise((resolve) => {
    const done = (found) => {
      clearTimeout(timer);
      window.removeEventListener("message", onReady);
      resolve(found);
    };
    const onReady = (event) => {
      if (event.source === window && event.data?.type === `${PREFIX}ready`)
        done({ version: String(event.data.version ?? ""), channel: event.data.channel === true,
               frame: EXTENSION_PAGE.test(event.data.frame) ? event.data.frame : "" });
    };
    const timer = setTimeout(() => done(null), timeout);
    window.addEventListener("message", onReady);
    window.postMessage({ type: `${PREFIX}hello` }, window.location.origin);
  });
}

export class ExtensionTransport {
  /**
   * A transport through the extension's frame when it answers within the
   * timeout, else through the content script.
   * @param {Announcement} found what the extension announced
   * @param {number} timeout ms
   * @returns {Promise<ExtensionTransport>}
   */
  static async open(found, timeout) {
    const frame = found.frame ? await framePort(found.frame, timeout) : null;
    return new ExtensionTransport(found, frame);
  }

  /**
   * @param {Announcement} [found] what the extension announced
   * @param {MessagePort|null} [frame] a port the extension's frame answered on
   */
  constructor({ channel = false } = {}, frame = null) {
    this.name = "extension";
    this.url = WHERE;
    /** Whether requests go through the extension's frame. */
    this.framed = frame !== null;
    this.pieceBytes = frame ? undefined : PIECE_BYTES;
    /** @type {(message: Object) => void} */
    this.onMessage = () => {};
    /** @type {(error: ConnectionLostError) => void} */
    this.onClose = () => {};
    /** @type {ConnectionLostError|null} */
    this.closed = null;
    /** Sizes of the messages sent and not yet passed on, oldest first. */
    this.unaccepted = [];
    this.unacceptedBytes = 0;
    this.wakeUp = null;
    this.listener = (event) => this.onWindowMessage(event);
    /** Where requests go: the frame, or a port of their own when the content script takes one. */
    this.requests = frame ?? (channel ? ownChannel() : null);
    if (frame) frame.onmessage = ({ data }) => this.onFrameMessage(data);
    else window.addEventListener("message", this.listener);
  }

  /** @param {Object} message with an "id" */
  send(message) {
    if (this.closed) throw this.closed;
    const size = message.method?.data?.length ?? 0;
    this.unaccepted.push({ id: message.id, size });
    this.unacceptedBytes += size;
    if (this.requests) this.requests.postMessage(message);
    else window.postMessage({ type: `${PREFIX}request`, message }, window.location.origin);
  }

  /** Resolves once the extension has passed on enough of what was sent. */
  drained() {
    return this.until(() => this.unacceptedBytes <= HIGH_WATER);
  }

  /** Resolves once the extension has passed on all that was sent. */
  flushed() {
    return this.until(() => this.unaccepted.length === 0);
  }

  /**
   * Through the frame: a port of its own for an upload's pieces, which a
   * worker sends there itself, so they never pass the page's main thread.
   * The frame forwards them to the same host, in order, once what this
   * transport sent before them was forwarded (see `flushed`), and answers
   * {accepted} for each and {disconnected: why}; {end: true} closes it.
   * @returns {MessagePort|null} null through the content script
   */
  pieceChannel() {
    if (!this.framed || this.closed) return null;
    const { port1, port2 } = new MessageChannel();
    this.requests.postMessage({ pieces: true }, [port2]);
    return port1;
  }

  /** @private */
  async until(done) {
    while (!done() && !this.closed)
      await new Promise((resolve) => (this.wakeUp = resolve));
    if (this.closed) throw this.closed;
  }

  /** Ends this transport; the tab's host ends with the page. */
  close() {
    this.lost("the page closed the connection");
  }

  /** @private */
  onWindowMessage(event) {
    if (event.source !== window || this.closed) return;
    const { type, message, id, error } = event.data ?? {};
    if (type === `${PREFIX}reply` && message) this.onMessage(message);
    else if (type === `${PREFIX}accepted`) this.accepted(id);
    else if (type === `${PREFIX}disconnected`) this.lost(String(error));
  }

  /** @private */
  onFrameMessage({ reply, accepted, disconnected }) {
    if (this.closed) return;
    if (reply) this.onMessage(reply);
    else if (accepted !== undefined) this.accepted(accepted);
    else if (disconnected !== undefined) this.lost(String(disconnected));
  }

  /** @private Another client of this page may have sent it: only ours count. */
  accepted(id) {
    const index = this.unaccepted.findIndex((entry) => entry.id === id);
    if (index < 0) return;
    this.unacceptedBytes -= this.unaccepted[index].size;
    this.unaccepted.splice(index, 1);
    this.wake();
  }

  /** @private */
  lost(why) {
    if (this.closed) return;
    this.closed = new ConnectionLostError(WHERE, why);
    window.removeEventListener("message", this.listener);
    this.requests?.close();
    this.wake();
    this.onClose(this.closed);
  }

  /** @private */
  wake() {
    const wakeUp = this.wakeUp;
    this.wakeUp = null;
    wakeUp?.();
  }
}

/**
 * A port whose other end goes to the content script: a request through it is
 * not copied for every listener of the page's window messages (this
 * transport's own among them), which an upload would pay for each piece.
 */
function ownChannel() {
  const { port1, port2 } = new MessageChannel();
  window.postMessage({ type: `${PREFIX}channel` }, window.location.origin, [port2]);
  return port1;
}

/** The extension's frame in this page, one for all its clients. */
let extensionFrame = null;

function frameOf(url) {
  extensionFrame ??= new Promise((resolve) => {
    const frame = document.createElement("iframe");
    frame.hidden = true;
    frame.addEventListener("load", () => resolve(frame), { once: true });
    frame.src = url;
    document.documentElement.append(frame);
  });
  return extensionFrame;
}

/**
 * A port to the extension's frame once the frame answered on it, or null
 * when it did not in time (a page whose policy keeps the frame out).
 * @param {string} url
 * @param {number} timeout ms
 * @returns {Promise<MessagePort|null>}
 */
function framePort(url, timeout) {
  const { port1, port2 } = new MessageChannel();
  return new Promise((resolve) => {
    const timer = setTimeout(() => {
      port1.close();
      resolve(null);
    }, timeout);
    port1.onmessage = ({ data }) => {
      if (!data?.ready) return;
      clearTimeout(timer);
      port1.onmessage = null;
      resolve(port1);
    };
    const origin = url.match(EXTENSION_PAGE)[1];
    frameOf(url).then((frame) =>
      frame.contentWindow.postMessage({ type: `${PREFIX}connect` }, origin, [port2]));
  });
}
