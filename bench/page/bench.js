// The page side of bench/run_page.sh: signs the chosen file through the
// client as a portal's page does, and times the phases a page pays for, each
// alone in a worker (phases.js). The driver calls window.bench.* through the
// browser's automation protocol.
import { connect } from "/clients/js/zorva-client.js";

const file = () => document.getElementById("file").files[0];

/** Main-thread tasks longer than 50 ms while the observer runs. */
function watchLongTasks() {
  const tasks = [];
  const observer = new PerformanceObserver((list) =>
    tasks.push(...list.getEntries().map((entry) => entry.duration)));
  observer.observe({ type: "longtask", buffered: false });
  return () => {
    observer.disconnect();
    return { count: tasks.length, longest: Math.round(Math.max(0, ...tasks)) };
  };
}

async function sign({ transport, url, certificate }) {
  const client = await connect(transport === "websocket" ? url : { transport, url });
  const chosen = (await client.certificates()).find((entry) => entry.subject.includes(certificate));
  const longTasks = watchLongTasks();
  const start = performance.now();
  let uploaded = 0;
  const signatures = await client.sign(file(), {
    certificate: chosen.id,
    onProgress: (sent, total) => {
      if (sent === total) uploaded = performance.now();
    },
  });
  const end = performance.now();
  client.close();
  return {
    upload: (uploaded - start) / 1000, afterUpload: (end - uploaded) / 1000,
    total: (end - start) / 1000, longTasks: longTasks(),
    transport: client.transportName ?? "websocket", signature: signatures[0].signature,
  };
}

function phases() {
  return new Promise((resolve, reject) => {
    const worker = new Worker(new URL("./phases.js", import.meta.url), { type: "module" });
    worker.onmessage = ({ data }) => (data.error ? reject(new Error(data.error)) : resolve(data));
    worker.onerror = (event) => reject(new Error(event.message));
    worker.postMessage(file());
  });
}

window.bench = { sign, phases };
document.getElementById("out").textContent = "ready";
