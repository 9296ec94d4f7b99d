// Browser client of the plugin host's WebSocket endpoint (ws://127.0.0.1:9000
// by default). An ES module without a build step: import it as it is.
//
// uploadFiles needs an incremental MD5: load spark-md5 (npm) before it, e.g.
//   <script src="/node_modules/spark-md5/spark-md5.min.js"></script>
// which defines the global SparkMD5.

/**
 * @typedef {Object} Format
 * @property {string} type
 * @property {string} [version]
 * @property {string} [category]
 * @property {string} [description]
 */

/**
 * A request or reply of the host. Every scalar is a string, numbers included.
 * @typedef {Object} Message
 * @property {string} [id] Chosen by the sender; a reply carries its request's.
 * @property {{type: string, version: string}} module
 * @property {{type: string, data?: string, result?: string}} method
 * @property {string} [error] Non-empty only in a failed reply.
 * @property {string} [code] "0" on success, else the error code.
 * @property {string} [errorMessage]
 * @property {string} [node]
 * @property {string} [mode] "debug" makes the host log the texts.
 * @property {{format: Format, id?: string, protocol?: Format,
 *             content?: {type?: string, charset?: string, transferEncoding?: string},
 *             data?: Object<string, string>, profile?: Object<string, string>,
 *             userAgent?: string, chunk?: string, chunks?: string}} [meta]
 */

/**
 * @typedef {Object} UploadOptions
 * @property {string} [module] Module that handles the joined request ("system").
 * @property {string} [method] Its method ("digest").
 * @property {(sent: number, total: number) => void} [onProgress] File bytes handed
 *     to the connection so far, and all file bytes.
 */

/** Raw bytes per piece: their base64 text is exactly 1 MiB, a multiple of 4. */
const PIECE_BYTES = 768 * 1024;
/** Sending pauses while more than this is waiting in the socket's buffer. */
const HIGH_WATER = 4 * 1024 * 1024;
const SENDER = { type: "zorva-client", version: "1.3.19.0", category: "page" };

/** Raised when the host cannot be reached or the connection ends. */
export class ConnectionError extends Error {
  constructor(message) {
    super(message);
    this.name = "ConnectionError";
  }
}

/**
 * Opens a connection to the host.
 * @param {string} url e.g. "ws://127.0.0.1:9000"
 * @returns {Promise<Client>}
 */
export function connect(url) {
  return new Promise((resolve, reject) => {
    const socket = new WebSocket(url);
    const refused = () =>
      reject(new ConnectionError(`cannot connect to the host at ${url}: is it running?`));
    socket.addEventListener("error", refused, { once: true });
    socket.addEventListener("open", () => {
      socket.removeEventListener("error", refused);
      resolve(new Client(socket, url));
    }, { once: true });
  });
}

export class Client {
  /** @param {WebSocket} socket an open socket @param {string} url */
  constructor(socket, url) {
    this.socket = socket;
    this.url = url;
    /** @type {Map<string, {resolve: Function, reject: Function, pieces: Map<number, Message>}>} */
    this.pending = new Map();
    /** @type {ConnectionError|null} */
    this.closed = null;
    socket.addEventListener("message", (event) => this.onMessage(event.data));
    socket.addEventListener("close", (event) => this.onClose(event));
  }

  /**
   * Sends one request and resolves with its reply, also a failed one (check
   * `error`). A reply that the host sends in pieces is joined back.
   * @param {Message} message gets an "id" when it has none
   * @returns {Promise<Message>}
   */
  request(message) {
    const reply = this.expect(message);
    this.send(message);
    return reply;
  }

  /**
   * Sends files as one chunked request {"files":[description, ...]}: each
   * file's base64 content travels in pieces of 1 MiB with its MD5, which the
   * host verifies while joining. Resolves with the reply to the joined request.
   * @param {Iterable<Blob|File>} files
   * @param {UploadOptions} [options]
   * @returns {Promise<Message>}
   */
  async uploadFiles(files, { module = "system", method = "digest", onProgress } = {}) {
    const Md5 = globalThis.SparkMD5;
    if (!Md5) throw new Error("uploadFiles needs spark-md5 loaded first (global SparkMD5)");
    const list = Array.from(files);
    const total = list.reduce((sum, file) => sum + file.size, 0);
    const chunks = 2 + list.reduce((sum, file) => sum + 2 + Math.ceil(file.size / PIECE_BYTES), 0);
    const base = makeRequest(module, method);
    const reply = this.expect(base);
    // An error reply may come before the last piece: then the rest is not sent.
    let answered = false;
    reply.then(() => (answered = true), () => (answered = true));
    let chunk = 0;
    const sendPiece = async (data, fileId) => {
      if (answered) return;
      const piece = structuredClone(base);
      piece.method.data = data;
      Object.assign(piece.meta, { id: fileId, chunk: String(++chunk), chunks: String(chunks) });
      this.send(piece);
      await this.drained();
    };

    let sent = 0;
    await sendPiece('{"files":[', "");
    for (const [index, file] of list.entries()) {
      const fileId = newId();
      const head = { id: fileId, name: file.name || fileId, contentEncoding: "base64" };
      // The description is cut inside its "content" string; the hash, known
      // only at the end, goes into the closing piece.
      await sendPiece(`${index ? "," : ""}${JSON.stringify(head).slice(0, -1)},"content":"`, fileId);
      const md5 = new Md5();
      for (let offset = 0; offset < file.size && !answered; offset += PIECE_BYTES) {
        const slice = file.slice(offset, offset + PIECE_BYTES);
        const text = await base64Of(slice);
        md5.appendBinary(text);
        await sendPiece(text, fileId);
        sent += slice.size;
        onProgress?.(sent, total);
      }
      const hash = { algorithm: "md5", value: md5.end() };
      await sendPiece(`","hash":${JSON.stringify(hash)}}`, fileId);
    }
    await sendPiece("]}", "");
    return reply;
  }

  /** Closes the connection; requests still waiting are rejected. */
  close() {
    this.socket.close();
  }

  /** @private */
  expect(request) {
    if (this.closed) return Promise.reject(this.closed);
    request.id ||= newId();
    return new Promise((resolve, reject) => {
      this.pending.set(request.id, { resolve, reject, pieces: new Map() });
    });
  }

  /** @private */
  send(request) {
    if (this.closed) throw this.closed;
    this.socket.send(JSON.stringify(request));
  }

  /** @private Lets the socket's buffer run low before more is queued. */
  async drained() {
    while (this.socket.bufferedAmount > HIGH_WATER && !this.closed)
      await new Promise((resolve) => setTimeout(resolve, 5));
    if (this.closed) throw this.closed;
  }

  /** @private */
  onMessage(text) {
    const reply = JSON.parse(text);
    const waiting = this.pending.get(reply.id);
    if (!waiting) return;
    const chunks = Number(reply.meta?.chunks || "1");
    waiting.pieces.set(Number(reply.meta?.chunk || "1"), reply);
    if (waiting.pieces.size < chunks) return;
    this.pending.delete(reply.id);
    waiting.resolve(joinPieces(waiting.pieces));
  }

  /** @private */
  onClose(event) {
    this.closed = new ConnectionError(
      `the connection to the host at ${this.url} ended (code ${event.code})`);
    for (const waiting of this.pending.values()) waiting.reject(this.closed);
    this.pending.clear();
  }
}

/** @param {Map<number, Message>} pieces @returns {Message} */
function joinPieces(pieces) {
  const order = [...pieces.keys()].sort((a, b) => a - b);
  const reply = pieces.get(order[0]);
  reply.method.result = order.map((n) => pieces.get(n).method.result ?? "").join("");
  if (order.length > 1) Object.assign(reply.meta, { chunk: "", chunks: "" });
  return reply;
}

/** A safe file name for the host: it names chunk directories and files. */
function newId() {
  if (globalThis.crypto?.randomUUID) return crypto.randomUUID();
  return Array.from({ length: 32 }, () => Math.floor(Math.random() * 16).toString(16)).join("");
}

/** @param {Blob} blob @returns {Promise<string>} */
function base64Of(blob) {
  return new Promise((resolve, reject) => {
    const reader = new FileReader();
    reader.onload = () => resolve(String(reader.result).slice(String(reader.result).indexOf(",") + 1));
    reader.onerror = () => reject(reader.error);
    reader.readAsDataURL(blob);
  });
}

/**
 * A request for `request`, with a fresh "id".
 * @param {string} module e.g. "system"
 * @param {string} method e.g. "version"
 * @param {string} [data]
 * @returns {Message}
 */
export function makeRequest(module, method, data = "") {
  return {
    id: newId(),
    module: { type: module, version: "" },
    method: { type: method, data },
    meta: { format: { ...SENDER } },
  };
}
