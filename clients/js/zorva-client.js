// Browser client of the plugin host, through the browser extension or over
// the host's WebSocket endpoint (ws://127.0.0.1:9000 by default); every method
// works the same over both. An ES module without a build step: import it as
// it is. The uploads hash with hash-wasm from ./node_modules (npm ci in this
// directory), in a worker.
import { HostNotRunningError, errorOf } from "./errors.js";
import { ExtensionTransport, findExtension } from "./extension_transport.js";
import { base64Of, newId, streamFiles } from "./upload.js";
import { WebSocketTransport } from "./websocket_transport.js";

export * from "./errors.js";

/** @typedef {import("./errors.js").ConnectionError} ConnectionError */

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
 * What `verify` found; every entry is a string.
 * @typedef {Object} Verdict
 * @property {string} valid "true" when the signature holds for the document
 * @property {string} signer the signer's certificate subject
 * @property {string} signingTime
 * @property {string} digestAlgorithm
 * @property {string} digest
 * @property {string} chain "valid" when the signer's certificate leads to the
 *     host's trust store, else why not
 * @property {string} error why the signature does not hold, if it does not
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
 * @property {(sha256: string[]) => void} [onHashed] the SHA-256 of each file in
 *     hex, known before the host asks the user: its consent window shows the
 *     first 16 digits, for the user to compare with what the page shows
 */

/**
 * @typedef {Object} Signature
 * @property {string} name the file's name
 * @property {string} signature the CMS (.p7s) in base64
 * @property {Uint8Array} bytes the same, decoded
 */

const SENDER = { type: "zorva-client", version: "1.3.19.0", category: "page" };
/** The WebSocket endpoint of the shipped configuration. */
export const DEFAULT_URL = "ws://127.0.0.1:9000";
/**
 * How long `connect` waits for the extension to announce itself, in ms: the
 * answer takes a few ms, but a busy machine's browser may take hundreds, and
 * a page that misses it falls back to WebSocket.
 */
const ANNOUNCE_TIMEOUT = 1000;
/** How long `connect` waits for the host's versions through the extension, in ms. */
const VERSION_TIMEOUT = 5000;

/**
 * @typedef {Object} ConnectOptions
 * @property {"extension"|"websocket"} [transport] Forces one; without it the
 *     extension is used when it answers, else the WebSocket endpoint.
 * @property {string} [url] The WebSocket endpoint (DEFAULT_URL).
 * @property {number} [timeout] ms the host may take to answer through the
 *     extension (5000).
 */

/**
 * Opens a connection to the host: through the browser extension when it is
 * installed and its host answers `system`/`version`, else over WebSocket.
 * @param {ConnectOptions|string} [options] a string is the WebSocket URL, as
 *     `{transport: "websocket", url}`
 * @returns {Promise<Client>} rejects with a HostNotRunningError
 */
export async function connect(options = {}) {
  const { transport, url = DEFAULT_URL, timeout = VERSION_TIMEOUT } =
    typeof options === "string" ? { transport: "websocket", url: options } : options;
  if (transport !== "websocket") {
    const client = await throughExtension(timeout);
    if (client) return client;
    if (transport === "extension") throw new HostNotRunningError("the browser extension");
  }
  return new Client(await WebSocketTransport.open(url));
}

/** A client through the extension once its host answered, else null. */
async function throughExtension(timeout) {
  const found = typeof window === "undefined" ? null : await findExtension(ANNOUNCE_TIMEOUT);
  if (!found) return null;
  const client = new Client(await ExtensionTransport.open(found, ANNOUNCE_TIMEOUT));
  let timer;
  const late = new Promise((resolve) => (timer = setTimeout(resolve, timeout)));
  try {
    const reply = await Promise.race([client.request(makeRequest("system", "version")), late]);
    if (reply && !reply.error) {
      client.version = JSON.parse(reply.method.result);
      return client;
    }
  } catch {
    // The extension is there but its host is not (not installed, or it failed).
  } finally {
    clearTimeout(timer);
  }
  client.close();
  return null;
}

export class Client {
  /** @param {WebSocketTransport|ExtensionTransport} transport an open one */
  constructor(transport) {
    this.transport = transport;
    /** "websocket" or "extension" */
    this.transportName = transport.name;
    /** The WebSocket endpoint, or "the browser extension". */
    this.url = transport.url;
    /** @type {Map<string, {resolve: Function, reject: Function, pieces: Map<number, Message>}>} */
    this.pending = new Map();
    /** @type {ConnectionError|null} */
    this.closed = null;
    /** @type {((error: ConnectionError) => void)|null} Called once when the connection is lost. */
    this.onclose = null;
    /** @type {Object|null} The host's `system`/`version` result, when `connect` asked for it. */
    this.version = null;
    transport.onMessage = (message) => this.onMessage(message);
    transport.onClose = (error) => this.onClose(error);
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
   * file's base64 content travels in pieces of 1 MiB. Resolves with the reply
   * to the joined request.
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
   * CancelledError when the user cancels (a TimedOutError when nobody
   * answered in time), PinLockedError, TokenMissingError, OriginRefusedError,
   * another HostError, or a ConnectionLostError.
   * @param {Blob|File|Iterable<Blob|File>} files
   * @param {SignOptions} options
   * @returns {Promise<Signature[]>} one per file, in order
   */
  async sign(files, { certificate, detached = true, level = "CAdES-BES", tsa, onProgress,
                      onHashed }) {
    const list = files instanceof Blob ? [files] : Array.from(files);
    const reply = await this.uploadAnd(list, makeRequest("crypto", "sign"), {
      onProgress,
      fields: { certificate, format: level, ...(tsa ? { tsa } : {}), detached: String(detached) },
      after: (sha256) => {
        onHashed?.(sha256);
        return { sha256 };
      },
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

  /**
   * Checks a CMS signature and, for a detached one, its document; both travel
   * through the chunked path like the documents `sign` uploads.
   * @param {Blob|Uint8Array} signature the .p7s (DER)
   * @param {Blob} [document]
   * @returns {Promise<Verdict>}
   */
  async verify(signature, document) {
    const files = [signature instanceof Blob ? signature : new Blob([signature])];
    if (document) files.push(document);
    return JSON.parse(resultOf(await this.uploadAnd(files, makeRequest("crypto", "verify"), {})));
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
      const encoded = this.transport.sendEncoded && ((message) => {
        if (this.closed) throw this.closed;
        this.transport.sendEncoded(message);
      });
      await streamFiles(files, {
        ...options, base, send: (piece) => this.send(piece), sendEncoded: encoded || undefined,
        drained: () => this.drained(), answered: () => answered,
        pieceChannel: this.transport.pieceChannel && (() => this.transport.pieceChannel()),
        flushed: () => this.transport.flushed(), where: this.transport.url,
        pieceBytes: this.transport.pieceBytes,
      });
    } catch (error) {
      this.pending.delete(base.id);
      throw error;
    }
    return reply;
  }

  /** Closes the connection; requests still waiting are rejected. */
  close() {
    this.transport.close();
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
    this.transport.send(request);
  }

  /** @private Lets the connection's buffer run low before more is queued. */
  drained() {
    return this.transport.drained();
  }

  /** @private */
  onMessage(reply) {
    const waiting = this.pending.get(reply.id);
    if (!waiting) return;
    const chunks = Number(reply.meta?.chunks || "1");
    waiting.pieces.set(Number(reply.meta?.chunk || "1"), reply);
    if (waiting.pieces.size < chunks) return;
    this.pending.delete(reply.id);
    waiting.resolve(joinPieces(waiting.pieces));
  }

  /** @private */
  onClose(error) {
    this.closed = error;
    for (const waiting of this.pending.values()) waiting.reject(error);
    this.pending.clear();
    this.onclose?.(error);
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
