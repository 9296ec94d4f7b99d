// Sends files to the host as one chunked request. A worker per file reads,
// hashes (SHA-256 of its bytes, which a signing module compares with its own
// over the bytes it joined) and encodes it ahead of the sending, so the page's
// main thread only hands finished pieces to the connection, or, where the
// connection gives the worker a port of its own, never sees them; a file is
// never held whole. The pieces carry no checksum of their own ("hash" is left
// out of the description): the host would only log a mismatch, the SHA-256
// covers what matters, and an MD5 of the text cost the page more than all the
// rest of the upload.

import { ConnectionLostError } from "./errors.js";

/** Raw bytes per piece: their base64 text is exactly 1 MiB, a multiple of 4. */
export const PIECE_BYTES = 768 * 1024;
/** Pieces a worker may have read and encoded before the page sends them. */
const AHEAD = 4;
const WORKER = new URL("./upload_worker.js", import.meta.url);

/**
 * @typedef {Object} Upload
 * @property {Object} base The request every piece copies ("id", module, method, meta).
 * @property {(piece: Object) => void} send Hands one piece to the connection.
 * @property {(message: Uint8Array) => void} [sendEncoded] Hands one message
 *     already in JSON's UTF-8 to the connection: then the worker builds the
 *     content pieces whole, and the main thread only passes them on.
 * @property {() => Promise<void>} drained Resolves when the connection can take more.
 * @property {() => MessagePort|null} [pieceChannel] A port for the content
 *     pieces of one file, which the worker sends through it itself (see
 *     ExtensionTransport.pieceChannel); they follow what was sent before
 *     once that has gone on (`flushed`).
 * @property {() => Promise<void>} [flushed] Resolves when the connection has
 *     passed on all that was sent.
 * @property {string} [where] The connection, as a lost one names it.
 * @property {() => boolean} answered Whether the host already replied (an error
 *     before the last piece): then the rest is not sent.
 * @property {Object} [fields] Entries of the request data before "files".
 * @property {(sha256: string[]) => Object} [after] Entries after "files", given
 *     the files' SHA-256 values in hex.
 * @property {(sent: number, total: number) => void} [onProgress]
 * @property {number} [pieceBytes] Raw bytes per piece, a multiple of 3
 *     (PIECE_BYTES), so that every piece is whole base64 groups.
 */

/**
 * Streams the request data {...fields, "files":[description, ...], ...after}.
 * @param {Blob[]} files
 * @param {Upload} upload
 * @returns {Promise<void>}
 */
export async function streamFiles(files, { base, send, sendEncoded, drained, answered,
                                           pieceChannel, flushed, where,
                                           fields = {}, after = () => ({}), onProgress,
                                           pieceBytes = PIECE_BYTES }) {
  const total = files.reduce((sum, file) => sum + file.size, 0);
  const chunks = 2 + files.reduce((sum, file) => sum + 2 + Math.ceil(file.size / pieceBytes), 0);
  let chunk = 0;
  const sendPiece = async (data, fileId) => {
    if (answered()) return;
    const piece = structuredClone(base);
    piece.method.data = data;
    Object.assign(piece.meta, { id: fileId, chunk: String(++chunk), chunks: String(chunks) });
    send(piece);
    await drained();
  };

  const sha256 = [];
  let sent = 0;
  await sendPiece(`${JSON.stringify(fields).slice(0, -1)}${objectIsEmpty(fields) ? "" : ","}"files":[`, "");
  for (const [index, file] of files.entries()) {
    const fileId = newId();
    const head = { id: fileId, name: file.name || fileId, contentEncoding: "base64" };
    // The description is cut inside its "content" string.
    await sendPiece(`${index ? "," : ""}${JSON.stringify(head).slice(0, -1)},"content":"`, fileId);
    const port = pieceChannel?.() ?? null;
    // The worker's pieces must not overtake the description's opening.
    if (port) await flushed();
    const envelope = (port || sendEncoded) && {
      base: { ...base, meta: { ...base.meta, id: fileId, chunks: String(chunks) } },
      firstChunk: chunk + 1,
    };
    const deliver = port ? async () => ++chunk
      : !envelope ? (piece) => sendPiece(piece, fileId)
      : async (piece) => {
        if (answered()) return;
        ++chunk;
        sendEncoded(piece);
        await drained();
      };
    const form = { pieceBytes, envelope, port, where };
    sha256.push(await encodedPieces(file, form, async (piece, bytes) => {
      await deliver(piece);
      sent += bytes;
      onProgress?.(sent, total);
    }, answered));
    await sendPiece(`"}`, fileId);
  }
  // The host has answered already: there is no more to send, nor to report.
  if (answered()) return;
  const rest = JSON.stringify(after(sha256)).slice(1);
  await sendPiece(`]${rest === "}" ? "" : ","}${rest}`, "");
}

/**
 * Hands each piece of the file's base64 text to `each`, in order, while the
 * worker prepares the next ones: the text, or with an envelope the whole
 * message in UTF-8, numbered on from its first chunk; with a port, which the
 * worker sends the messages through, only the size of each sent piece.
 * @param {Blob} file
 * @param {{pieceBytes: number, envelope: {base: Object, firstChunk: number}|null,
 *          port: MessagePort|null, where: string}} form
 * @param {(piece: string|Uint8Array|undefined, bytes: number) => Promise<void>} each
 * @param {() => boolean} answered stops early
 * @returns {Promise<string>} the SHA-256 of the file's bytes in hex
 */
function encodedPieces(file, form, each, answered) {
  const worker = new Worker(WORKER, { type: "module" });
  return new Promise((resolve, reject) => {
    let chain = Promise.resolve();
    let done = false;
    const finish = (settle, value) => {
      done = true;
      worker.terminate();
      settle(value);
    };
    worker.addEventListener("error", (event) =>
      finish(reject, new Error(`the upload worker failed: ${event.message}`)));
    worker.addEventListener("message", ({ data }) => {
      // Pieces come in order; each is sent when the one before has been.
      chain = chain.then(async () => {
        if (done) return;
        if (data.error) throw new Error(`reading ${file.name || "the file"} failed: ${data.error}`);
        if ("lost" in data) throw new ConnectionLostError(form.where, data.lost);
        if ("sha256" in data) return finish(resolve, data.sha256);
        if (answered()) return finish(resolve, "");
        await each(data.piece, data.bytes);
        // The frame's port paces the worker itself.
        if (form.port) return;
        // The socket has its copy: the worker writes its next pieces into the buffer.
        const buffer = form.envelope ? data.piece.buffer : null;
        worker.postMessage({ credit: 1, buffer }, buffer ? [buffer] : []);
      }).catch((error) => finish(reject, error));
    });
    worker.postMessage({ file, ...form, ahead: AHEAD }, form.port ? [form.port] : []);
  });
}

function objectIsEmpty(object) {
  return Object.keys(object).length === 0;
}

/** A safe file name for the host: it names chunk directories and files. */
export function newId() {
  if (globalThis.crypto?.randomUUID) return crypto.randomUUID();
  return Array.from({ length: 32 }, () => Math.floor(Math.random() * 16).toString(16)).join("");
}

/** @param {Uint8Array} bytes @returns {Promise<string>} */
export function base64Of(bytes) {
  if (typeof bytes.toBase64 === "function") return Promise.resolve(bytes.toBase64());
  return new Promise((resolve, reject) => {
    const reader = new FileReader();
    reader.onload = () => resolve(String(reader.result).slice(String(reader.result).indexOf(",") + 1));
    reader.onerror = () => reject(reader.error);
    reader.readAsDataURL(new Blob([bytes]));
  });
}
