// Talks to the host through the browser extension: a request goes out with
// window.postMessage and its replies come back the same way, matched by "id".
// A reply in pieces is joined in chunk order.
const pending = new Map();

function settle(message) {
  const waiting = pending.get(message.id);
  if (!waiting) return;
  waiting.pieces.set(Number(message.meta.chunk || "1"), message);
  if (waiting.pieces.size < Number(message.meta.chunks || "1")) return;
  pending.delete(message.id);
  const pieces = [...waiting.pieces.entries()].sort(([a], [b]) => a - b).map(([, piece]) => piece);
  const reply = pieces[0];
  reply.method.result = pieces.map((piece) => piece.method.result).join("");
  waiting.resolve({ reply, pieces: pieces.length });
}

window.addEventListener("message", (event) => {
  if (event.source !== window) return;
  const { type, message, error } = event.data ?? {};
  if (type === "zorva.plugin.reply") settle(message);
  if (type === "zorva.plugin.disconnected") {
    for (const waiting of pending.values()) waiting.reject(new Error(error));
    pending.clear();
  }
});

function ask(module, method, data = "", metaData = {}) {
  const id = crypto.randomUUID();
  const message = {
    id,
    module: { type: module, version: "" },
    method: { type: method, data },
    meta: { format: { type: "page" }, data: metaData },
    // Only the extension may name the origin: this one must be replaced.
    origin: "https://forged.example",
  };
  return new Promise((resolve, reject) => {
    pending.set(id, { resolve, reject, pieces: new Map() });
    window.postMessage({ type: "zorva.plugin.request", message }, window.location.origin);
  });
}

function show(id, text, className = "") {
  const element = document.getElementById(id);
  element.textContent = text;
  element.className = className;
}

async function main() {
  try {
    const version = await ask("system", "version");
    show("version", version.reply.method.result);
    const text = "0123456789".repeat(300_000);
    const echo = await ask("system", "echo", text, { origin: "https://forged.example" });
    show("echo", JSON.stringify({ same: echo.reply.method.result === text, pieces: echo.pieces }));
    show("origin", echo.reply.meta.data.origin);
    show("status", "done", "done");
  } catch (error) {
    show("status", String(error), "failed");
  }
}

main();
