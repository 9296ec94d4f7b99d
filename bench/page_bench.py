"""The page path, Sign to signature, as a portal's user meets it: headless
Chromium signs a document of each size through the browser client
(clients/js, or the one in CLIENT_DIR) over WebSocket and through the
extension, against the staged host on an X display with a SoftHSM2 token;
xdotool answers the consent window. Prints, per run, MB/s, the phase times
and the processor seconds of each browser process and of the host per GiB.
Run by bench/run_page.sh."""

import functools
import http.server
import json
import os
import subprocess
import sys
import tempfile
import threading
import time
import types

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "modules", "nmh", "e2e"))
sys.path.insert(0, os.path.join(REPO, "tests", "modules", "ws", "e2e"))
sys.path.insert(0, os.path.join(REPO, "tests", "modules", "crypto", "e2e"))
from wshost import Host, prompt_holds, stage_dir, wait_listening  # noqa: E402
from nmhhost import program_logs, stage_program  # noqa: E402
from crypto_e2e import DIALOG, private_token, windows_titled  # noqa: E402

PIN = "123456"
MIB = 1024 * 1024
TICKS = os.sysconf("SC_CLK_TCK")


class Files(http.server.SimpleHTTPRequestHandler):
    """The benchmark page, and the client under test at /clients/js/."""

    def __init__(self, *args, client_dir, **kwargs):
        self.client_dir = client_dir
        super().__init__(*args, directory=os.path.join(HERE, "page"), **kwargs)

    def translate_path(self, path):
        if path.startswith("/clients/js/"):
            return os.path.join(self.client_dir, path[len("/clients/js/"):].split("?")[0])
        return super().translate_path(path)

    def log_message(self, *args):
        pass


def command_line(pid, parent):
    """The process's command line. A program's reads back empty now and then
    while the program changes its memory map (a renderer collecting garbage),
    and would then count as the browser: read again a few times. Kernel
    threads (children of kthreadd, 2) have none."""
    for _ in range(1 if parent in (0, 2) else 20):
        with open("/proc/%s/cmdline" % pid, "rb") as cmdline:
            command = cmdline.read().replace(b"\0", b" ").decode(errors="replace")
        if command:
            break
        time.sleep(0.001)
    return command


def processes():
    """pid -> (parent pid, ticks used, command line) of every process."""
    found = {}
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % entry) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            command = command_line(entry, int(fields[1]))
        except OSError:
            continue
        found[int(entry)] = (int(fields[1]), int(fields[11]) + int(fields[12]), command)
    return found


def kind(command):
    if "--type=renderer" in command:
        return "extension" if "--extension-process" in command else "renderer"
    if "network.mojom.NetworkService" in command:
        return "network"
    for name, text in (("gpu", "--type=gpu-process"), ("zygote", "--type=zygote"),
                       ("utility", "--type=")):
        if text in command:
            return name
    return "host" if "/plugin" in command.split(" ")[0] else "browser"


def usage(roots):
    """pid -> (kind, seconds of processor time) of the processes under the
    roots (the browser, and a host the benchmark started)."""
    table = processes()
    seconds = {}
    for pid, (_, ticks, command) in table.items():
        ancestor = pid
        while ancestor in table and ancestor not in roots:
            ancestor = table[ancestor][0]
        if ancestor in roots:
            seconds[pid] = (kind(command), ticks / TICKS)
    return seconds


def thread_usage(pids):
    """(pid, thread name) -> seconds of processor time of the live threads of
    the pids: where a process's time goes. A thread that ended (an upload's
    worker) is left out; its time stays in its process's."""
    seconds = {}
    for pid in pids:
        try:
            tids = os.listdir("/proc/%d/task" % pid)
        except OSError:
            continue
        for tid in tids:
            try:
                with open("/proc/%d/task/%s/stat" % (pid, tid)) as stat:
                    text = stat.read()
            except OSError:
                continue
            name = text[text.index("(") + 1:text.rindex(")")]
            fields = text.rsplit(")", 1)[1].split()
            key = (pid, name)
            seconds[key] = seconds.get(key, 0) + (int(fields[11]) + int(fields[12])) / TICKS
    return seconds


def peak_memory(pids):
    peak = 0
    for pid in pids:
        try:
            with open("/proc/%d/status" % pid) as status:
                for line in status:
                    if line.startswith("VmHWM:"):
                        peak = max(peak, int(line.split()[1]) // 1024)
        except OSError:
            pass
    return peak


def answer_consent(title, times, host, holds_before):
    """Types the PIN into the consent window once it takes keys: a window
    ignores them for a moment after it comes up, and logs when."""
    windows = windows_titled(title, timeout=900)
    times["shown"] = time.monotonic()
    subprocess.run(["xdotool", "windowfocus", "--sync", windows[0]], check=True, timeout=30)
    wait_listening(host, title, holds_before)
    subprocess.run(["xdotool", "type", "--delay", "30", PIN], check=True, timeout=30)
    times["answered"] = time.monotonic()
    subprocess.run(["xdotool", "key", "Return"], check=True, timeout=30)


class Bench:
    def __init__(self, work, client_dir, chrome_manifest, title):
        self.work = work
        self.stage = stage_dir()
        self.chrome_manifest = chrome_manifest
        self.title = title
        handler = functools.partial(Files, client_dir=client_dir)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.origin = "http://localhost:%d" % self.server.server_address[1]

    def document(self, mib):
        path = os.path.join(self.work, "document-%d.bin" % mib)
        if not os.path.exists(path):
            with open(path, "wb") as out:
                for _ in range(mib):
                    out.write(os.urandom(MIB))
        return path

    def extension_profile(self, root):
        """A profile whose host registration points at a private host that
        has the benchmark page's origin approved."""
        program_dir = stage_program(self.stage, os.path.join(root, "host"))
        with open(os.path.join(program_dir, "permissions.json"), "w") as out:
            json.dump({"origins": {self.origin: "allow"}}, out)
        with open(self.chrome_manifest) as shipped:
            manifest = json.load(shipped)
        manifest["path"] = os.path.join(program_dir, "plugin")
        hosts = os.path.join(root, "profile", "NativeMessagingHosts")
        os.makedirs(hosts)
        with open(os.path.join(hosts, manifest["name"] + ".json"), "w") as out:
            json.dump(manifest, out)
        return types.SimpleNamespace(log=lambda: program_logs(program_dir))

    def run(self, transport, mib, phases):
        root = tempfile.mkdtemp(dir=self.work)
        host = None
        env = dict(os.environ, HOME=root, XDG_RUNTIME_DIR=root, QT_QPA_PLATFORM="xcb")
        job = {"page": self.origin + "/index.html", "profile": os.path.join(root, "profile"),
               "file": self.document(mib), "transport": transport, "certificate": "RSA Signer",
               "phases": phases}
        if transport == "websocket":
            host = Host(self.stage, answers={self.origin: "allow"}, qt_platform="xcb")
            job["url"] = host.url
            logs = host
        else:
            logs = self.extension_profile(root)
            job["extension"] = os.environ.get("EXTENSION_DIR", os.path.join(REPO, "extension"))
        try:
            return self.drive(job, env, host, logs, mib)
        finally:
            if host:
                host.close()

    def drive(self, job, env, host, logs, mib):
        driver = subprocess.Popen(["node", os.path.join(HERE, "page_driver.mjs"), json.dumps(job)],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                  env=env)
        roots, times, result = set(), {}, {}
        if host:
            roots.add(host.process.pid)
        consent = None
        for line in driver.stdout:
            entry = json.loads(line)
            if "browser" in entry:
                roots.add(entry["browser"])
            elif "phases" in entry:
                result["phases"] = entry["phases"]
            elif "signing" in entry:
                before = usage(roots)
                threads_before = thread_usage(before)
                times["start"] = time.monotonic()
                consent = threading.Thread(
                    target=answer_consent, args=(self.title, times, logs,
                                                 prompt_holds(logs, self.title)), daemon=True)
                consent.start()
            elif "signed" in entry:
                times["end"] = time.monotonic()
                after = usage(roots)
                threads_after = thread_usage(after)
                result.update(entry["signed"])
                result["memory"] = peak_memory(
                    [pid for pid, (name, _) in before.items() if name == "renderer"])
                driver.stdin.write("read\n")
                driver.stdin.close()
            elif "error" in entry:
                raise RuntimeError(entry["error"])
        driver.wait()
        consent.join(5)
        cpu = {}
        # A process is of the kind it was first seen as: a busy renderer's
        # command line may read back empty.
        for pid, (name, seconds) in after.items():
            name, earlier = before.get(pid, (name, 0))
            cpu[name] = cpu.get(name, 0) + seconds - earlier
        upload_end = times["start"] + result["upload"]
        result["times"] = {"upload": result["upload"],
                           "join": times["shown"] - upload_end,
                           "consent": times["answered"] - times["shown"],
                           "sign": times["end"] - times["answered"]}
        result["cpu_per_gib"] = {name: seconds * 1024 / mib for name, seconds in cpu.items()}
        result["threads_per_gib"] = threads_by_kind(before, threads_before, threads_after, cpu, mib)
        return result


def threads_by_kind(before, threads_before, threads_after, cpu, mib):
    """kind -> {thread name: seconds per GiB} for the renderer, the extension's
    process and the host, with the time of threads that ended."""
    found = {}
    for (pid, name), seconds in threads_after.items():
        kind_name = before.get(pid, ("",))[0]
        if kind_name not in ("renderer", "extension", "host"):
            continue
        used = seconds - threads_before.get((pid, name), 0)
        names = found.setdefault(kind_name, {})
        names[name] = names.get(name, 0) + used
    for kind_name, names in found.items():
        ended = cpu.get(kind_name, 0) - sum(names.values())
        if ended > 0.05:
            names["(ended threads)"] = ended
    return {kind_name: {name: used * 1024 / mib for name, used in names.items() if used >= 0.05}
            for kind_name, names in found.items()}


def report(transport, mib, result):
    times = result["times"]
    # Consent waits for the person (here xdotool): it is no part of the rate.
    working = result["total"] - times["consent"]
    print("%s %d MiB: %.1f MB/s (%.2f s Sign to signature without the %.2f s of consent), "
          "longest main-thread task %d ms (%d over 50 ms), renderer peak RSS %d MiB"
          % (result["transport"], mib, mib * MIB / 1e6 / working, working, times["consent"],
             result["longTasks"]["longest"], result["longTasks"]["count"], result["memory"]))
    print("  phases (s): upload %.2f (read, hash, encode and send overlapping), host join and "
          "digest until the consent window %.2f, consent %.2f, sign %.2f"
          % (times["upload"], times["join"], times["consent"], times["sign"]))
    if "phases" in result:
        alone = result["phases"]
        print("  each alone in a worker (s): read as a stream %.2f (as slices %.2f), SHA-256 %.2f, "
              "base64 %.2f, MD5 of the base64 text %.2f"
              % (alone["read"], alone["slices"], alone["hash"], alone["encode"], alone["md5"]))
    print("  processor s per GiB: " + ", ".join(
        "%s %.2f" % item for item in sorted(result["cpu_per_gib"].items())))
    for kind_name, names in sorted(result["threads_per_gib"].items()):
        print("    %s threads: " % kind_name + ", ".join(
            "%s %.2f" % item for item in sorted(names.items(), key=lambda item: -item[1])))


def main():
    sizes = [int(size) for size in os.environ.get("SIZES", "64 512").split()]
    transports = os.environ.get("TRANSPORTS", "websocket extension").split()
    client_dir = os.environ.get("CLIENT_DIR", os.path.join(REPO, "clients", "js"))
    with tempfile.TemporaryDirectory(prefix="zorva-page-bench-") as work:
        private_token(work)
        bench = Bench(work, client_dir, os.environ["ZORVA_CHROME_MANIFEST"], DIALOG)
        print("client: %s, page %s" % (client_dir, bench.origin))
        for mib in sizes:
            for transport in transports:
                report(transport, mib, bench.run(transport, mib, phases=transport == transports[0]))
                sys.stdout.flush()


if __name__ == "__main__":
    main()
