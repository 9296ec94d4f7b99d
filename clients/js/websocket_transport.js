// The host's WebSocket endpoint as a transport of the client: one message a
// frame, JSON text each way.
import { ConnectionLostError, HostNotRunningError } from "./errors.js";

/** Sending waits while more than this is in the socket's buffer. */
const HIGH_WATER = 4 * 1024 * 1024;

export class WebSocketTransport {
  /**
   * Opens the socket.
   * @param {string} url e.g. "ws://127.0.0.1:9000"
   * @returns {Promise<WebSocketTransport>} rejects with a HostNotRunningError
   */
  static open(url) {
    return new Promise((resolve, reject) => {
      const socket = new WebSocket(url);
      const refused = () => reject(new HostNotRunningError(url));
      socket.addEventListener("error", refused, { once: true });
      socket.addEventListener("open", () => {
        socket.removeEventListener("error", refused);
        resolve(new WebSocketTransport(socket, url));
      }, { once: true });
    });
  }

  /** @param {WebSocket} socket an open socket @param {string} url */
  constructor(socket, url) {
    this.name = "websocket";
    this.url = url;
    this.socket = socket;
    /** @type {(message: Object) => void} */
    this.onMessage = () => {};
    /** @type {(error: ConnectionLostError) => void} */
    this.onClose = () => {};
    /** @type {ConnectionLostError|null} */
    this.closed = null;
    this.wakeUp = null;
    socket.addEventListener("message", (event) => this.onMessage(JSON.parse(event.data)));
    socket.addEventListener("close", (event) => {
      this.closed = new ConnectionLostError(url, `the connection ended (code ${event.code})`);
      this.wakeUp?.();
      this.onClose(this.closed);
    });
  }

  /** @param {Object} message */
  send(message) {
    if (this.closed) throw this.closed;
    this.socket.send(JSON.stringify(message));
  }

  /**
   * Sends a message already in JSON's UTF-8, as a binary frame: the host reads
   * both kinds alike, and the page need not turn bytes into a string first.
   * @param {Uint8Array} message
   */
  sendEncoded(message) {
    if (this.closed) throw this.closed;
    this.socket.send(message);
  }

  /**
   * Resolves when the socket's buffer has room. The browser tells nothing
   * when it drains, so this looks again each frame's time: a piece takes
   * longer than that to leave.
   */
  async drained() {
    while (this.socket.bufferedAmount > HIGH_WATER && !this.closed)
      await new Promise((resolve) => {
        this.wakeUp = resolve;
        setTimeout(resolve, 4);
      });
    if (this.closed) throw this.closed;
  }

  close() {
    this.socket.close();
  }
}
