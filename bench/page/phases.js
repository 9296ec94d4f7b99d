// What each step of the page path costs alone on this file, in seconds of a
// worker: reading it as a stream (as the client does) and as 768 KiB slices
// (as it did), SHA-256 of the bytes (hash-wasm, as the client does), base64
// of the bytes, and the MD5 of that text that the client used to send with
// every piece. Each step is timed around itself only.
const HASH_WASM = "/clients/js/node_modules/hash-wasm/dist/index.esm.min.js";
const PIECE = 768 * 1024;

async function timed(file, step) {
  let read = 0;
  let spent = 0;
  for (let offset = 0; offset < file.size; offset += PIECE) {
    const start = performance.now();
    const bytes = new Uint8Array(await file.slice(offset, offset + PIECE).arrayBuffer());
    const middle = performance.now();
    step(bytes);
    spent += performance.now() - middle;
    read += middle - start;
  }
  return [read / 1000, spent / 1000];
}

async function streamed(file) {
  const start = performance.now();
  const reader = file.stream().getReader();
  while (!(await reader.read()).done);
  return (performance.now() - start) / 1000;
}

self.onmessage = async ({ data: file }) => {
  try {
    const { createMD5, createSHA256 } = await import(HASH_WASM);
    const sha = await createSHA256();
    const md5 = await createMD5();
    const [read, hash] = await timed(file, (bytes) => sha.update(bytes));
    const [, encode] = await timed(file, (bytes) => bytes.toBase64());
    const [, md5Total] = await timed(file, (bytes) => md5.update(bytes.toBase64()));
    self.postMessage({ read: await streamed(file), slices: read, hash, encode,
                       md5: md5Total - encode });
  } catch (error) {
    self.postMessage({ error: String(error) });
  }
};
