"""The example page in Debian's headless Chromium, served on localhost: it
connects to the real host, echoes a text and uploads a 20 MiB file and a small
one; the digests it shows must be those of the files' real bytes. In the same
page the client library answers concurrent requests, joins a reply sent in
pieces and rejects with a clear error when the host is absent or the
connection drops."""

import functools
import hashlib
import http.server
import json
import os
import subprocess
import tempfile
import threading
import unittest

from wshost import Host, digest_of, stage_dir

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "..", ".."))
DRIVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "chromium", "drive_page.mjs")
LOCAL_PAGES = {"format": {"type": "ws", "category": "protocol.origins"},
               "data": "http://localhost:*"}


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class PageInChromium(unittest.TestCase):
    def setUp(self):
        for needed in ("/usr/bin/chromium",
                       os.path.join(REPO, "clients", "js", "node_modules", "hash-wasm"),
                       os.path.join(os.path.dirname(DRIVER), "node_modules", "playwright-core")):
            if not os.path.exists(needed):
                self.fail("missing %s: run scripts/install-deps.sh" % needed)
        # The administrator's list approves the page: the headless host could
        # ask nobody.
        self.host = Host(stage_dir(), ws_meta=[LOCAL_PAGES])
        self.addCleanup(self.host.close)
        handler = functools.partial(QuietHandler, directory=REPO)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.addCleanup(self.server.server_close)
        self.addCleanup(self.server.shutdown)
        self.work = tempfile.TemporaryDirectory(prefix="zorva-ws-page-")
        self.addCleanup(self.work.cleanup)

    def file(self, name, data):
        path = os.path.join(self.work.name, name)
        with open(path, "wb") as out:
            out.write(data)
        return path

    def test_page_uploads_files_and_shows_the_digests_of_their_real_bytes(self):
        big = os.urandom(20 * 1024 * 1024)
        small = "Привет, host\n".encode()
        files = [self.file("big.bin", big), self.file("small.txt", small)]
        page = "http://localhost:%d/examples/ws-page/index.html?ws=%s" % (
            self.server.server_address[1], self.host.url)
        screenshot = os.environ.get("ZORVA_SCREENSHOT",
                                    os.path.join(self.work.name, "ws-page.png"))

        run = subprocess.run(
            ["node", DRIVER, page, os.path.join(self.work.name, "profile"), screenshot] + files,
            capture_output=True, text=True, timeout=240)

        self.assertEqual(run.returncode, 0, run.stderr[-4000:])
        shown = json.loads(run.stdout.strip().splitlines()[-1])
        self.assertEqual(shown["problems"], [])
        self.assertEqual(shown["echo"], "echo from Chromium")
        self.assertIn("ws", {module["type"] for module in shown["version"]["modules"]})
        self.assertEqual(shown["progress"], 1)
        self.assertEqual(shown["digests"], [dict(name="big.bin", **digest_of(big)),
                                            dict(name="small.txt", **digest_of(small))])
        self.assertTrue(os.path.getsize(screenshot) > 0)
        client = shown["client"]
        self.assertRegex(client["refused"], r"^HostNotRunningError: cannot connect to the host "
                         r"at ws://127\.0\.0\.1:1: is it running\? .*Local Network Access")
        self.assertEqual(client["echoes"], ["a", "b", "c"])
        self.assertTrue(client["joined"], "a reply in pieces was not joined back")
        self.assertRegex(client["dropped"], r"^ConnectionLostError: the connection to the "
                         r"signing program \(ws://127\.0\.0\.1:\d+\) was lost")
        self.assertEqual(client["typed"], {
            "20003": "CancelledError", "164": "PinLockedError", "224": "TokenMissingError",
            "50": "TokenMissingError", "225": "TokenMissingError", "20025": "OriginRefusedError",
            "160": "TokenError", "20005": "UnsupportedError", "20006": "NoDataError",
            "20015": "RequestError", "20019": "LimitExceededError",
            "20020": "DocumentChangedError", "20026": "LimitExceededError",
            "20002": "ConnectionLostError", "99999": "HostError",
            "pending": "PendingError", "general": "HostError"})
        self.assertEqual(client["timedOut"], "TimedOutError")
        self.assertEqual(client["english"], {
            "message": "there is nothing to work on: the document is empty (code 20006)",
            "errorMessage": "Данные не найдены"})
        # The pieces carry no checksum: the SHA-256 of the bytes is what counts.
        self.host.wait_log("chunk store: got last chunk")
        self.assertNotIn("chunk store: checksums for uuid", self.host.log())


if __name__ == "__main__":
    unittest.main()
