// The browser extension as a transport of the client. Its content script
// carries messages between this page's window and the extension, which
// starts one native-messaging host for the tab (extension/content.js
// describes the messages). The browser limits what one message may carry, so
// a large request travels in pieces (as uploads do) and a large reply comes
// in pieces, as over WebSocket.
import { ConnectionLostError } from "./errors.js";

const PREFIX = "zorva.plugin.";
/** Sending waits while the extension has not yet passed on this much. */
const HIGH_WATER = 4 * 1024 * 1024;
const WHERE = "the browser extension";
/**
 * Raw bytes per upload piece (256 KiB of base64). Chromium serializes an
 * extension message on the sending thread, the page's main thread here, at
 * some 30 MB/s: a 1 MiB piece would hold it for 40 ms, a quarter of it for
 * 10, which stays short of 50 on a busy machine too.
 */
const PIECE_BYTES = 192 * 1024;

/**
 * @typedef {Object} Announcement
 * @property {string} version the extension's
 * @property {boolean} channel whether it takes requests through a port of
 *     their own (extension/content.js)
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
        done({ version: String(event.data.version ?? ""), channel: event.data.channel === true });
    };
    const timer = setTimeout(() => done(null), timeout);
    window.addEventListener("message", onReady);
    window.postMessage({ type: `${PREFIX}hello` }, window.location.origin);
  });
}

export class ExtensionTransport {
  /** @param {Announcement} [found] what the extension announced */
  constructor({ channel = false } = {}) {
    this.name = "extension";
    this.url = WHERE;
    this.pieceBytes = PIECE_BYTES;
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
    window.addEventListener("message", this.listener);
    /** Where requests go: a port of their own when the extension takes one. */
    this.requests = channel ? ownChannel() : null;
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
  async drained() {
    while (this.unacceptedBytes > HIGH_WATER && !this.closed)
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
