// Reads one file piece by piece, hashes its bytes with SHA-256 and encodes
// each piece as base64, off the page's main thread, while earlier pieces are
// on their way; the page grants a credit for each piece it may receive, so at
// most that many wait in memory.
//
// In: {file: Blob, pieceBytes, ahead, envelope, textAsBytes}, then {credit:
// n, buffer} as the page sends. Out: {piece, bytes} per piece in order, then
// {sha256} (hex), or {error}. A piece is the base64 text (its ASCII bytes with
// textAsBytes), or, given an envelope {base, firstChunk}, the whole message
// around it in UTF-8, ready for the socket;
// the page hands the buffer of such a piece back with its credit, once the
// socket took a copy, and the next pieces are written into it: the memory an
// upload takes stays the same whatever the file's size.
const HASH_WASM = new URL("./node_modules/hash-wasm/dist/index.esm.min.js", import.meta.url);

let credit = 0;
let wake = null;
/** Buffers of pieces the page has sent, to be written again. */
const spare = [];

self.addEventListener("message", ({ data }) => {
  if ("credit" in data) {
    credit += data.credit;
    if (data.buffer) spare.push(data.buffer);
    wake?.();
    return;
  }
  encode(data).catch((error) => self.postMessage({ error: String(error?.message ?? error) }));
});

async function encode({ file, pieceBytes, ahead, envelope, textAsBytes }) {
  const { createSHA256 } = await import(HASH_WASM.href);
  const sha = await createSHA256();
  const utf8 = new TextEncoder();
  const asText = textAsBytes ? (text) => utf8.encode(text) : (text) => text;
  const wrap = envelope ? inEnvelope(envelope) : asText;
  credit = ahead;
  for await (const bytes of piecesOf(file, pieceBytes)) {
    sha.update(bytes);
    const piece = wrap(base64Of(bytes));
    while (credit === 0) await new Promise((resolve) => (wake = resolve));
    --credit;
    const moved = typeof piece === "string" ? [] : [piece.buffer];
    self.postMessage({ piece, bytes: bytes.length }, moved);
  }
  self.postMessage({ sha256: sha.digest("hex") });
}

/**
 * The file's bytes in pieces of pieceBytes, the last one shorter, each in the
 * same buffer: a piece is hashed and encoded before the next is read. A
 * stream reads a file several times faster than slices do, and a reader that
 * brings its own buffer has the bytes written into it, with no copy and
 * nothing left for the collector.
 * @param {Blob} file
 * @param {number} pieceBytes
 */
async function* piecesOf(file, pieceBytes) {
  const reader = file.stream().getReader({ mode: "byob" });
  let buffer = new ArrayBuffer(pieceBytes);
  let filled = 0;
  for (;;) {
    const { value, done } = await reader.read(new Uint8Array(buffer, filled, pieceBytes - filled));
    // The read took the buffer over and gives it back in the view.
    buffer = value.buffer;
    filled += value.byteLength;
    if (filled && (done || filled === pieceBytes)) {
      yield new Uint8Array(buffer, 0, filled);
      filled = 0;
    }
    if (done) return;
  }
}

/**
 * Puts each text into its message: the envelope's request with the text as
 * "method"."data" and the next chunk number, as JSON in UTF-8.
 */
function inEnvelope({ base, firstChunk }) {
  const utf8 = new TextEncoder();
  // A text JSON leaves as it is (base64 needs no escapes) stands in for the data.
  const marker = `"zorva-piece-${Math.random().toString(16).slice(2)}"`;
  let chunk = firstChunk;
  return (text) => {
    const message = { ...base, method: { ...base.method, data: marker.slice(1, -1) },
                      meta: { ...base.meta, chunk: String(chunk++) } };
    const [head, tail] = JSON.stringify(message).split(marker);
    const needed = text.length + 3 * (head.length + tail.length) + 2;
    const out = bufferOf(needed);
    let length = utf8.encodeInto(`${head}"`, out).written;
    length += utf8.encodeInto(text, out.subarray(length)).written;
    length += utf8.encodeInto(`"${tail}`, out.subarray(length)).written;
    return out.subarray(0, length);
  };
}

/**
 * A spare buffer of at least `size` bytes, else a new one with room for the
 * next pieces, whose chunk numbers may have more digits.
 */
function bufferOf(size) {
  const buffer = spare.pop();
  return new Uint8Array(buffer?.byteLength >= size ? buffer : new ArrayBuffer(size + 64));
}

/** @param {Uint8Array} bytes */
function base64Of(bytes) {
  if (typeof bytes.toBase64 === "function") return bytes.toBase64();
  const url = new FileReaderSync().readAsDataURL(new Blob([bytes]));
  return url.slice(url.indexOf(",") + 1);
}
