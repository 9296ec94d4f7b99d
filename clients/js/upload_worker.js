// Reads one file slice by slice, hashes its bytes with SHA-256 and encodes
// each slice as base64, off the page's main thread. Slices are read ahead
// while earlier ones are on their way; the page grants a credit for each
// piece it may receive, so at most that many wait in memory.
//
// In: {file: Blob, pieceBytes, ahead}, then {credit: n} as the page sends.
// Out: {text, bytes} per piece in order, then {sha256} (hex), or {error}.
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

async function encode({ file, pieceBytes, ahead }) {
  const { createSHA256 } = await import(HASH_WASM.href);
  const sha = await createSHA256();
  credit = ahead;
  const reads = [];
  let offset = 0;
  const readNext = () => {
    if (offset >= file.size) return;
    reads.push(file.slice(offset, offset + pieceBytes).arrayBuffer());
    offset += pieceBytes;
  };
  for (let i = 0; i < ahead; ++i) readNext();
  while (reads.length) {
    const bytes = new Uint8Array(await reads.shift());
    readNext();
    sha.update(bytes);
    const text = base64Of(bytes);
    while (credit === 0) await new Promise((resolve) => (wake = resolve));
    --credit;
    self.postMessage({ text, bytes: bytes.length });
  }
  self.postMessage({ sha256: sha.digest("hex") });
}

/** @param {Uint8Array} bytes */
function base64Of(bytes) {
  if (typeof bytes.toBase64 === "function") return bytes.toBase64();
  const url = new FileReaderSync().readAsDataURL(new Blob([bytes]));
  return url.slice(url.indexOf(",") + 1);
}
