// Sends files to the host as one chunked request, hashing them on the way:
// the MD5 of each file's base64 text (the host checks it while it joins the
// pieces) and the SHA-256 of its bytes (a signing module compares it with its
// own). Both hashes run slice by slice, so a file is never held whole.

/** Raw bytes per piece: their base64 text is exactly 1 MiB, a multiple of 4. */
export const PIECE_BYTES = 768 * 1024;

const HASH_WASM = new URL("./node_modules/hash-wasm/dist/index.esm.min.js", import.meta.url);

/**
 * @typedef {Object} Upload
 * @property {Object} base The request every piece copies ("id", module, method, meta).
 * @property {(piece: Object) => void} send Hands one piece to the connection.
 * @property {() => Promise<void>} drained Resolves when the connection can take more.
 * @property {() => boolean} answered Whether the host already replied (an error
 *     before the last piece): then the rest is not sent.
 * @property {Object} [fields] Entries of the request data before "files".
 * @property {(sha256: string[]) => Object} [after] Entries after "files", given
 *     the files' SHA-256 values in hex.
 * @property {(sent: number, total: number) => void} [onProgress]
 */

/**
 * Streams the request data {...fields, "files":[description, ...], ...after}.
 * @param {Blob[]} files
 * @param {Upload} upload
 * @returns {Promise<void>}
 */
export async function streamFiles(files, { base, send, drained, answered, fields = {},
                                           after = () => ({}), onProgress }) {
  const { createMD5, createSHA256 } = await import(HASH_WASM.href);
  const total = files.reduce((sum, file) => sum + file.size, 0);
  const chunks = 2 + files.reduce((sum, file) => sum + 2 + Math.ceil(file.size / PIECE_BYTES), 0);
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
    // The description is cut inside its "content" string; the hash, known
    // only at the end, goes into the closing piece.
    await sendPiece(`${index ? "," : ""}${JSON.stringify(head).slice(0, -1)},"content":"`, fileId);
    const [md5, sha] = await Promise.all([createMD5(), createSHA256()]);
    for (let offset = 0; offset < file.size && !answered(); offset += PIECE_BYTES) {
      const bytes = new Uint8Array(await file.slice(offset, offset + PIECE_BYTES).arrayBuffer());
      sha.update(bytes);
      const text = await base64Of(bytes);
      md5.update(text);
      await sendPiece(text, fileId);
      sent += bytes.length;
      onProgress?.(sent, total);
    }
    sha256.push(sha.digest("hex"));
    await sendPiece(`","hash":${JSON.stringify({ algorithm: "md5", value: md5.digest("hex") })}}`,
                    fileId);
  }
  const rest = JSON.stringify(after(sha256)).slice(1);
  await sendPiece(`]${rest === "}" ? "" : ","}${rest}`, "");
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
