"""The staged host started the way a browser starts it: with the extension's
origin as its argument, native-messaging frames on its standard input and
output. Each host runs from a private program directory, which is also its
data directory."""

import glob
import json
import os
import queue
import shutil
import struct
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "ws", "e2e"))
from wshost import TIMEOUT, _link_or_copy, request, stage_dir, wait_log  # noqa: E402,F401

ORIGIN = "chrome-extension://knldjmfmopnpolahpmmgbagdohdnhkik/"
MIB = 1024 * 1024


def frame(payload):
    """A message, or raw bytes, as one frame: length in native order, then the bytes."""
    data = payload if isinstance(payload, bytes) else json.dumps(payload).encode()
    return struct.pack("=I", len(data)) + data


def stage_program(stage, program_dir):
    """A private program directory: binaries linked, other files copied, no
    data left from a run in the stage."""
    shutil.copytree(stage, program_dir, copy_function=_link_or_copy,
                    ignore=shutil.ignore_patterns("*.user", "logs", "data", "dumps"))
    return program_dir


def program_logs(program_dir):
    """All that the hosts started from program_dir wrote to their log files."""
    texts = []
    for path in sorted(glob.glob(os.path.join(program_dir, "logs", "*.log"))):
        with open(path, encoding="utf-8", errors="replace") as log:
            texts.append(log.read())
    return "".join(texts)


def private_environment(root):
    """HOME, the user's data folder and the runtime folder inside root, with
    the platform headless."""
    runtime = os.path.join(root, "runtime")
    os.mkdir(runtime, 0o700)
    return dict(os.environ, HOME=root, XDG_RUNTIME_DIR=runtime,
                XDG_DATA_HOME=os.path.join(root, "share"), QT_QPA_PLATFORM="offscreen")


class FrameReader(threading.Thread):
    """Reads the host's standard output as frames until it closes; any byte
    that is not part of a whole frame is kept in `stray`."""

    def __init__(self, output):
        super().__init__(daemon=True)
        self.output = output
        self.frames = queue.Queue()
        self.stray = b""
        self.start()

    def run(self):
        while True:
            head = self.output.read(4)
            if len(head) < 4:
                self.stray += head
                break
            data = self.output.read(struct.unpack("=I", head)[0])
            self.frames.put(data)
        self.stray += self.output.read()

    def next(self, timeout=TIMEOUT):
        try:
            return self.frames.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError("no frame from the host within %ss" % timeout) from None


class NmhHost:
    """One host process. read_output=False leaves its standard output with no
    reader, as a browser that went away does."""

    def __init__(self, stage, program="plugin", read_output=True, data_dir_blocked=False):
        self.root = tempfile.mkdtemp(prefix="zorva-nmh-e2e-")
        self.program_dir = stage_program(stage, os.path.join(self.root, "host"))
        program_path = os.path.join(self.program_dir, program)
        if program != "plugin":
            os.rename(os.path.join(self.program_dir, "plugin"), program_path)
        if data_dir_blocked:
            # A file where a branded program keeps its data directory.
            open(os.path.join(self.root, "ZorvaPluginData"), "w").close()
        env = private_environment(self.root)
        self.data_home = env["XDG_DATA_HOME"]
        self.log_path = os.path.join(self.root, "stderr.log")
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen(
                [program_path, ORIGIN], cwd=self.program_dir, env=env, stdin=subprocess.PIPE,
                stdout=subprocess.PIPE, stderr=log, start_new_session=True)
        if read_output:
            self.reader = FrameReader(self.process.stdout)
        else:
            self.process.stdout.close()

    def send(self, payload):
        """Writes one frame; a bytes payload is written as it is, unframed."""
        self.process.stdin.write(payload if isinstance(payload, bytes) else frame(payload))
        self.process.stdin.flush()

    def close_input(self):
        self.process.stdin.close()

    def reply(self):
        """One reply; a reply sent in pieces is joined back in chunk order and
        its frames are kept in "frames"."""
        frames = [self.reader.next()]
        first = json.loads(frames[0])
        pieces = {int(first["meta"]["chunk"] or "1"): first}
        while len(pieces) < int(first["meta"]["chunks"] or "1"):
            frames.append(self.reader.next())
            piece = json.loads(frames[-1])
            pieces[int(piece["meta"]["chunk"])] = piece
        first["method"]["result"] = "".join(pieces[i]["method"]["result"] for i in sorted(pieces))
        first["frames"] = frames
        return first

    def ask(self, message):
        self.send(message)
        return self.reply()

    def log(self):
        with open(self.log_path, encoding="utf-8", errors="replace") as log:
            return log.read()

    def wait_log(self, text, count=1, timeout=TIMEOUT):
        wait_log(self, text, count, timeout)

    def wait_exit(self, timeout=TIMEOUT):
        """The exit code, once the host and its output have ended."""
        try:
            self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("host still running after %ss:\n%s"
                                 % (timeout, self.log()[-4000:])) from None
        if hasattr(self, "reader"):
            self.reader.join(timeout)
        return self.process.returncode

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        for stream in (self.process.stdin, self.process.stdout):
            try:
                stream.close()
            except (BrokenPipeError, ValueError):
                pass
        shutil.rmtree(self.root, ignore_errors=True)
