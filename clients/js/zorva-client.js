// Browser client of the plugin host's WebSocket endpoint (ws://127.0.0.1:9000
// by default). An ES module without a build step: import it as it is. The
// uploads hash with hash-wasm from ./node_modules (npm ci in this directory).
import { ConnectionError, HostNotRunningError, errorOf } from "./errors.js";
import { base64Of, newId, streamFiles } from "./upload.js";

export * from "./errors.js";

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

/**
 * What `certificates` selects; every entry is optional.
 * @typedef {Object} CertificateFilter
 * @property {string} [keyUsage] "digitalSignature" or "nonRepudiation"
 * @property {string} [issuer] text the issuer's name contains
 * @property {string} [valid] "true": only certificates valid now
 */

/**
 * A certificate whose private key is on a token and can sign.
 * @typedef {Object} Certificate
 * @property {string} id what `sign` and `signHash` take
 * @property {string} token the label of the token that holds its key
 * @property {string} subject
 * @property {string} issuer
 * @property {string} validFrom "YYYY-MM-DD HH:MM:SS" UTC
 * @property {string} validUntil
 * @property {string} certificate DER in base64
 * @property {string[]} algorithms the signature algorithms its key supports
 */

/**
 * @typedef {Object} SignOptions
 * @property {string} certificate the id of the certificate the user is offered
 *     first; the user may pick another in the consent dialog
 * @property {boolean} [detached] true (default): the signature without the document
 * @property {"CAdES-BES"|"CAdES-T"|"CAdES-LT"} [level] "CAdES-BES" (default); T and LT
 *     need a time-stamp authority in the user's configuration
 * @property {string} [tsa] one of the TSA URLs the user's configuration lists; the
 *     first listed when not given
 * @property {(sent: number, total: number) => void} [onProgress]
 */

/**
 * @typedef {Object} AugmentOptions
 * @property {Blob|File} [document] the signed document, for a detached signature
 * @property {"CAdES-T"|"CAdES-LT"} level what the signature is brought to
 * @property {string} [tsa] as for `sign`
 * @property {(sent: number, total: number) => void} [onProgress]
 */

/**
 * @typedef {Object} Signature
 * @property {string} name the file's name
 * @property {string} signature the CMS (.p7s) in base64
 * @property {Uint8Array} bytes the same, decoded
 */

/** Sending pauses while more than this is waiting in the socket's buffer. */
const HIGH_WATER = 4 * 1024 * 1024;
const SENDER = { type: "zorva-client", version: "1.3.19.0", category: "page" };

/**
 * Opens a connection to the host.
 * @param {string} url e.g. "ws://127.0.0.1:9000"
 * @returns {Promise<Client>} rejects with a HostNotRunningError
 */
export function connect(url) {
  return new Promise((resolve, reject) => {
    const socket = new WebSocket(url);
    const refused = () => reject(new HostNotRunningError(url));
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
    return this.uploadAnd(Array.from(files), makeRequest(module, method), { onProgress });
  }

  /**
   * The certificates the user's tokens can sign with.
   * @param {CertificateFilter} [filter]
   * @returns {Promise<Certificate[]>}
   */
  async certificates(filter = {}) {
    return JSON.parse(await this.call("certificates", filter));
  }

  /**
   * Signs each file: uploads them through the chunked path, hashing their
   * bytes with SHA-256 on the way, and waits while the user looks at the
   * host's consent dialog and enters the PIN there. Rejects with a
   * CancelledError when the user cancels, PinLockedError, TokenMissingError,
   * OriginRefusedError, or another HostError.
   * @param {Blob|File|Iterable<Blob|File>} files
   * @param {SignOptions} options
   * @returns {Promise<Signature[]>} one per file, in order
   */
  async sign(files, { certificate, detached = true, level = "CAdES-BES", tsa, onProgress }) {
    const list = files instanceof Blob ? [files] : Array.from(files);
    const reply = await this.uploadAnd(list, makeRequest("crypto", "sign"), {
      onProgress,
      fields: { certificate, format: level, ...(tsa ? { tsa } : {}), detached: String(detached) },
      after: (sha256) => ({ sha256 }),
    });
    return withBytes(JSON.parse(resultOf(reply)));
  }

  /**
   * Brings an existing CAdES signature up a level, from B to T or from T to
   * LT: the host adds a timestamp or the validation data; no token, PIN or
   * consent dialog is involved. Rejects with a HostError when the signature
   * does not verify or already has the level.
   * @param {Blob|File} signature the .p7s
   * @param {AugmentOptions} options
   * @returns {Promise<Signature & {level: string}>}
   */
  async augment(signature, { document, level, tsa, onProgress }) {
    const list = document ? [signature, document] : [signature];
    const reply = await this.uploadAnd(list, makeRequest("crypto", "augment"), {
      onProgress,
      fields: { format: level, ...(tsa ? { tsa } : {}) },
    });
    return withBytes([JSON.parse(resultOf(reply))])[0];
  }

  /**
   * A raw signature over a hash the site prepared (it builds the container).
   * @param {{certificate: string, hash: string|Uint8Array|ArrayBuffer, hashFunction?: string,
   *          padding?: string}} request the hash in base64 or as bytes; the hash
   *     function ("SHA-256" when not given) and the padding ("PKCS1.5", "PSS";
   *     the key's usual one when not given) as `certificates` lists them
   * @returns {Promise<{signature: string, algorithm: string, bytes: Uint8Array}>}
   */
  async signHash({ certificate, hash, hashFunction = "", padding = "" }) {
    const text = typeof hash === "string" ? hash : await base64Of(new Uint8Array(hash));
    const result = JSON.parse(
      await this.call("signHash", { certificate, hash: text, hashFunction, padding }));
    return withBytes([result])[0];
  }

  /** @private A "crypto" method whose failure becomes a typed error. */
  async call(method, data) {
    return resultOf(await this.request(makeRequest("crypto", method, JSON.stringify(data))));
  }

  /** @private */
  async uploadAnd(files, base, options) {
    const reply = this.expect(base);
    // An error reply may come before the last piece: then the rest is not sent.
    let answered = false;
    reply.then(() => (answered = true), () => (answered = true));
    try {
      await streamFiles(files, {
        ...options, base, send: (piece) => this.send(piece), drained: () => this.drained(),
        answered: () => answered,
      });
    } catch (error) {
      this.pending.delete(base.id);
      throw error;
    }
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

/** The result of a reply; a failed reply becomes its typed error. */
function resultOf(reply) {
  if (reply.error) throw errorOf(reply);
  return reply.method.result;
}

/** Adds the decoded bytes of each base64 "signature". */
function withBytes(signatures) {
  return signatures.map((entry) => ({
    ...entry, bytes: Uint8Array.from(atob(entry.signature), (c) => c.charCodeAt(0)),
  }));
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
