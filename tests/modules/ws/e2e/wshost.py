"""The staged host run in a private program directory, and a WebSocket client.

The program directory is also the host's data directory (configuration, logs,
chunk store), so every host a test starts is isolated from every other one.
"""

import asyncio
import base64
import hashlib
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest
import uuid

import websockets

TIMEOUT = 30
PIECE = 1024 * 1024


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def listens(pid, port):
    """Whether the process has a socket listening on the port, from the
    kernel's tables: a probe connection would show in the host's log."""
    sockets = set()
    try:
        for fd in os.listdir("/proc/%d/fd" % pid):
            target = os.readlink("/proc/%d/fd/%s" % (pid, fd))
            if target.startswith("socket:["):
                sockets.add(target[len("socket:["):-1])
    except OSError:
        return False
    local = ":%04X" % port
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(table, encoding="ascii") as rows:
            next(rows)
            for fields in (row.split() for row in rows):
                if fields[1].endswith(local) and fields[3] == "0A" and fields[9] in sockets:
                    return True
    return False


def _link_or_copy(source, target):
    """Binaries are linked (cheap, read only); everything else is copied."""
    if not (source.endswith(".so") or os.path.basename(source) == "plugin"):
        return shutil.copy2(source, target)
    try:
        os.link(source, target)
    except OSError:
        shutil.copy2(source, target)



def wait_log(host, text, count=1, timeout=TIMEOUT):
    """Waits until the host's log holds text count times: records reach the
    file from a queue, a little after the reply that follows them."""
    deadline = time.monotonic() + timeout
    while host.log().count(text) < count:
        if time.monotonic() > deadline:
            raise AssertionError("no %d log lines with %r in:\n%s" % (count, text, host.log()[-4000:]))
        if host.process.poll() is not None and host.log().count(text) < count:
            raise AssertionError("host exited (%s) before logging %r:\n%s"
                                 % (host.process.returncode, text, host.log()[-4000:]))
        time.sleep(0.05)


def prompt_holds(host, title):
    """How often the prompt windows titled `title` began to ignore input."""
    return host.log().count('ui: the prompt "%s" ignores input for a moment' % title)


def wait_listening(host, title, holds_before=0, timeout=TIMEOUT):
    """Waits until a prompt window titled `title` takes keys: a window ignores
    them for a moment after it comes up or gets the keyboard back, and logs
    when it begins and ends. holds_before: prompt_holds before this window
    came up."""
    deadline = time.monotonic() + timeout
    while True:
        log = host.log()
        holds = log.count('ui: the prompt "%s" ignores input for a moment' % title)
        if holds > holds_before and log.count('ui: the prompt "%s" takes input' % title) == holds:
            return
        if time.monotonic() > deadline:
            raise AssertionError("the prompt %r never took input:\n%s" % (title, log[-4000:]))
        time.sleep(0.05)


class Host:
    """One `plugin -P ws` process serving ws://127.0.0.1:<port>."""

    SHIPPED_PORT = 9000

    def __init__(self, stage, port=None, shipped_config=False, ws_meta=(), answers=None,
                 qt_platform="offscreen", language="en_US.UTF-8", meta=None):
        """shipped_config keeps the staged configuration as it is (port 9000);
        ws_meta entries go in front of the "ws" dependency's meta, and meta
        maps another dependency's type to entries for its meta; answers
        (origin to "allow" or "deny") are what the user answered before; a
        host whose dialogs a test drives runs on the X display ("xcb"), and
        None leaves the host no display and no platform;
        language is the user's locale, which picks the windows' language.
        A host on a port picked here waits until it listens: when another
        program took that port first, it starts again on another."""
        picked = port is None and not shipped_config
        for _ in range(3):
            self._launch(stage, port, shipped_config, ws_meta, answers, qt_platform, language,
                         meta or {})
            if not picked or not self._lost_its_port():
                return
            self.close()
        raise AssertionError("no free port kept long enough:\n" + self.log()[-4000:])

    def _launch(self, stage, port, shipped_config, ws_meta, answers, qt_platform, language,
                meta):
        self.port = self.SHIPPED_PORT if shipped_config else port or free_port()
        self.root = tempfile.mkdtemp(prefix="zorva-ws-e2e-")
        self.program_dir = os.path.join(self.root, "plugin")
        self._stage(stage, None if shipped_config else "ws://localhost:%d" % self.port, ws_meta,
                    meta)
        if answers:
            with open(self.permissions_path, "w", encoding="utf-8") as out:
                json.dump({"origins": answers}, out)
        runtime = os.path.join(self.root, "runtime")
        os.mkdir(runtime, 0o700)
        # No platform at all is a session without a display.
        dropped = ("LANGUAGE", "LC_ALL", "LC_MESSAGES") + (
            ("QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY") if qt_platform is None else ())
        env = {name: value for name, value in os.environ.items() if name not in dropped}
        env.update(HOME=self.root, XDG_RUNTIME_DIR=runtime,
                   XDG_DATA_HOME=os.path.join(self.root, "share"), LANG=language)
        if qt_platform is not None:
            env["QT_QPA_PLATFORM"] = qt_platform
        self.env = env
        self.log_path = os.path.join(self.root, "stderr.log")
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen(
                [os.path.join(self.program_dir, "plugin"), "-P", "ws"],
                cwd=self.program_dir, env=env, stdin=subprocess.DEVNULL,
                stdout=log, stderr=subprocess.STDOUT, start_new_session=True)

    def _lost_its_port(self, timeout=TIMEOUT):
        """Waits until the host listens or ends; true when it ended because
        its port was taken."""
        deadline = time.monotonic() + timeout
        while not listens(self.process.pid, self.port) and time.monotonic() < deadline:
            if self.process.poll() is not None:
                return "ws: cannot listen on" in self.log()
            time.sleep(0.05)
        return False

    def _stage(self, stage, address, ws_meta, meta):
        """Links the binaries, copies the files the host may write to."""
        shutil.copytree(stage, self.program_dir, copy_function=_link_or_copy,
                        ignore=lambda directory, names: [n for n in names if n.endswith(".user")
                                                         or n in ("logs", "data", "dumps")])
        config_path = os.path.join(self.program_dir, "config.json")
        with open(config_path, encoding="utf-8") as default:
            config = json.load(default)
        os.unlink(config_path)
        for dependency in config["dependencies"]:
            if dependency["format"]["type"] in meta:
                dependency.setdefault("meta", [])[:0] = meta[dependency["format"]["type"]]
            if dependency["format"]["type"] != "ws":
                continue
            for meta in dependency["meta"]:
                if address and meta["format"].get("category") == "protocol":
                    meta["data"] = address
            dependency["meta"][:0] = ws_meta
        with open(config_path, "w", encoding="utf-8") as out:
            json.dump(config, out)

    @property
    def permissions_path(self):
        """The user's answers about origins, in the data directory (the
        program directory of a staged host)."""
        return os.path.join(self.program_dir, "permissions.json")

    @property
    def url(self):
        return "ws://127.0.0.1:%d" % self.port

    def log(self):
        with open(self.log_path, encoding="utf-8", errors="replace") as log:
            return log.read()

    def wait_log(self, text, count=1, timeout=TIMEOUT):
        wait_log(self, text, count, timeout)

    def wait_exit(self, timeout=TIMEOUT):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("host still running after %ss:\n%s" % (timeout, self.log()[-4000:]))

    def session_processes(self):
        """Processes left in the host's session, the host included."""
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/stat" % entry) as stat:
                    fields = stat.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if int(fields[3]) == self.process.pid and fields[0] != "Z":
                found.append(int(entry))
        return found

    def close(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        shutil.rmtree(self.root, ignore_errors=True)


async def connect(url, timeout=TIMEOUT, origin=None):
    """Connects once the host listens; a refused connection is retried. A
    page's connection names its origin."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            return await websockets.connect(url, max_size=None, compression=None,
                                            ping_interval=None, open_timeout=timeout,
                                            origin=origin)
        except (ConnectionRefusedError, OSError):
            if time.monotonic() > deadline:
                raise
            await asyncio.sleep(0.05)


def request(method, data="", module="system", **fields):
    """A request message; `meta` entries given in fields replace the defaults."""
    meta = {"format": {"type": "e2e"}}
    meta.update(fields.pop("meta", {}))
    message = {"id": fields.pop("id", uuid.uuid4().hex), "module": {"type": module, "version": ""},
               "method": {"type": method, "data": data}, "meta": meta}
    message.update(fields)
    return message


async def receive_reply(ws, timeout=TIMEOUT):
    """One reply; a reply sent in pieces is joined back in chunk order."""
    texts = [await asyncio.wait_for(ws.recv(), timeout)]
    first = json.loads(texts[0])
    pieces = {int(first["meta"]["chunk"] or "1"): first}
    while len(pieces) < int(first["meta"]["chunks"] or "1"):
        texts.append(await asyncio.wait_for(ws.recv(), timeout))
        piece = json.loads(texts[-1])
        pieces[int(piece["meta"]["chunk"])] = piece
    reply = json.loads(texts[0])
    reply["method"]["result"] = "".join(pieces[i]["method"]["result"] for i in sorted(pieces))
    reply["pieces"] = [pieces[i] for i in sorted(pieces)]
    reply["texts"] = texts
    return reply


async def ask(ws, message):
    await ws.send(json.dumps(message))
    return await receive_reply(ws)


def digest_of(data):
    return {"size": str(len(data)), "md5": hashlib.md5(data).hexdigest(),
            "sha256": hashlib.sha256(data).hexdigest()}


def b64(data):
    return base64.b64encode(data).decode("ascii")


def chunked(message_id, method, pieces):
    """Chunk messages of one request: pieces are (data, file id) pairs."""
    total = str(len(pieces))
    return [request(method, data, id=message_id,
                    meta={"id": file_id, "chunk": str(number), "chunks": total})
            for number, (data, file_id) in enumerate(pieces, 1)]


def embedded_file_pieces(name, content, piece_size=PIECE):
    """The payload {"files":[description]} cut the way a page cuts it: the
    description's opening and closing around its base64 content in pieces."""
    text = b64(content)
    piece_size -= piece_size % 4
    file_id = uuid.uuid4().hex
    head = json.dumps({"id": file_id, "name": name, "contentEncoding": "base64",
                       "hash": {"algorithm": "md5", "value": hashlib.md5(text.encode()).hexdigest()}})
    opening = head[:-1] + ', "content": "'
    pieces = [('{"files":[', "")]
    pieces.append((opening, file_id))
    pieces += [(text[i:i + piece_size], file_id) for i in range(0, len(text), piece_size)]
    pieces.append(('"}', file_id))
    pieces.append(("]}", ""))
    return file_id, pieces


def stage_dir():
    """The staged program directory the build made, given by ctest."""
    stage = os.environ.get("ZORVA_STAGE", "")
    if not os.path.isfile(os.path.join(stage, "plugin")):
        raise SystemExit("ZORVA_STAGE must name the staged program directory, got %r" % stage)
    return stage


class HostTestCase(unittest.IsolatedAsyncioTestCase):
    """One host for the class, a fresh connection `self.ws` for each test."""

    @classmethod
    def setUpClass(cls):
        cls.host = Host(stage_dir())

    @classmethod
    def tearDownClass(cls):
        cls.host.close()

    async def asyncSetUp(self):
        self.ws = await connect(self.host.url)

    async def asyncTearDown(self):
        await self.ws.close()
