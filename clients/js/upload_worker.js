// Reads one file piece by piece, hashes its bytes with SHA-256 and encodes
// each piece as base64, off the page's main thread, while earlier pieces are
// on their way; the page grants a credit for each piece it may receive, so at
// most that many wait in memory.
//
// In: {file: Blob, pieceBytes, ahead, envelope}, then {credit: n} as the page
// sends. Out: {piece, bytes} per piece in order, then {sha256} (hex), or
// {error}. A piece is the base64 text, or, given an envelope {base,
// firstChunk}, the whole message around it in UTF-8, ready for the socket.
const HASH_WASM = new URL("./node_modules/hash-wasm/dist/index.esm.min.js", import.meta.url);

let credit = 0;
let wake = null;

self.addEventListener("message", ({ data }) => {
  if ("credit" in data) {
    credit += data.credit;
    wake?.();
    return;
  }
  encode(data).catch((error) => self.postMessage({ error: String(error?.message ?? error) }));
});

async function encode({ file, pieceBytes, ahead, envelope }) {
  const { createSHA256 } = await import(HASH_WASM.href);
  const sha = await createSHA256();
  const wrap = envelope ? inEnvelope(envelope) : (text) => text;
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
 * The file's bytes in pieces of pieceBytes, the last one shorter. A stream
 * reads a file several times faster than slices do, and reads ahead by
 * itself while the pieces before are hashed and encoded.
 * @param {Blob} file
 * @param {number} pieceBytes
 */
async function* piecesOf(file, pieceBytes) {
  const reader = file.stream().getReader();
  let piece = new Uint8Array(pieceBytes);
  let filled = 0;
  for (let read = await reader.read(); !read.done; read = await reader.read()) {
    for (let at = 0; at < read.value.length;) {
      const count = Math.min(pieceBytes - filled, read.value.length - at);
      piece.set(read.value.subarray(at, at + count), filled);
      filled += count;
      at += count;
      if (filled < pieceBytes) continue;
      yield piece;
      piece = new Uint8Array(pieceBytes);
      filled = 0;
    }
  }
  if (filled) yield piece.subarray(0, filled);
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
    const out = new Uint8Array(text.length + 3 * (head.length + tail.length) + 2);
    let length = utf8.encodeInto(`${head}"`, out).written;
    length += utf8.encodeInto(text, out.subarray(length)).written;
    length += utf8.encodeInto(`"${tail}`, out.subarray(length)).written;
    return out.subarray(0, length);
  };
}

/** @param {Uint8Array} bytes */
function base64Of(bytes) {
  if (typeof bytes.toBase64 === "function") return bytes.toBase64();
  const url = new FileReaderSync().readAsDataURL(new Blob([bytes]));
  return url.slice(url.indexOf(",") + 1);
}
