// Reads one file piece by piece, hashes its bytes with SHA-256 and encodes
// each piece as base64, off the page's main thread, while earlier pieces are
// on their way.
//
// In: {file: Blob, pieceBytes, ahead, envelope, port}. Out: a message per
// piece in order, then {sha256} (hex), or {error}.
//
// Without a port the pieces go to the page, which grants a credit ({credit:
// n, buffer}) for each it may receive, so at most `ahead` wait in memory. A
// piece {piece, bytes} is the base64 text, or, given an envelope {base,
// firstChunk}, the whole message around it in UTF-8, ready for the socket;
// the page hands the buffer of such a piece back with its credit, once the
// socket took a copy, and the next pieces are written into it: the memory an
// upload takes stays the same whatever the file's size.
//
// With a port to the extension's frame (and an envelope) the worker sends
// each piece's message there itself, at most `ahead` not yet accepted, and
// tells the page {bytes} of each accepted one; it ends the port once all
// were, and says {lost: why} if the frame's host went away.
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
  encode(data).catch((error) =>
    self.postMessage(error instanceof HostLost ? { lost: error.message }
                                               : { error: String(error?.message ?? error) }));
});

class HostLost extends Error {}

async function encode({ file, pieceBytes, ahead, envelope, port }) {
  const { createSHA256 } = await import(HASH_WASM.href);
  const sha = await createSHA256();
  const out = port ? toFrame(port, envelope, ahead) : toPage(envelope, ahead);
  for await (const bytes of piecesOf(file, pieceBytes)) {
    sha.update(bytes);
    await out.send(base64Of(bytes), bytes.length);
  }
  await out.end();
  self.postMessage({ sha256: sha.digest("hex") });
}

/** Pieces for the page to send, as many as it grants credits for. */
function toPage(envelope, ahead) {
  const wrap = envelope ? inEnvelope(envelope) : (text) => text;
  credit = ahead;
  return {
    async send(text, bytes) {
      const piece = wrap(text);
      while (credit === 0) await new Promise((resolve) => (wake = resolve));
      --credit;
      self.postMessage({ piece, bytes }, typeof piece === "string" ? [] : [piece.buffer]);
    },
    async end() {},
  };
}

/**
 * Each piece's message straight to the extension's frame. The text goes as a
 * string, which is copied to the frame's process as it is, with no UTF-8
 * bytes made on either side.
 */
function toFrame(port, { base, firstChunk }, ahead) {
  let chunk = firstChunk;
  /** Bytes of each piece the frame has not yet passed on, oldest first. */
  const unaccepted = [];
  let lost = null;
  let wakeUp = null;
  port.onmessage = ({ data }) => {
    if ("accepted" in data) self.postMessage({ bytes: unaccepted.shift() });
    else if ("disconnected" in data) lost ??= String(data.disconnected);
    wakeUp?.();
  };
  const until = async (done) => {
    while (!done() && lost === null) await new Promise((resolve) => (wakeUp = resolve));
    if (lost !== null) throw new HostLost(lost);
  };
  return {
    async send(text, bytes) {
      await until(() => unaccepted.length < ahead);
      port.postMessage({ ...base, method: { ...base.method, data: text },
                         meta: { ...base.meta, chunk: String(chunk++) } });
      unaccepted.push(bytes);
    },
    async end() {
      await until(() => unaccepted.length === 0);
      port.postMessage({ end: true });
      port.close();
    },
  };
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
