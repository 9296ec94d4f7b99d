"""The browser extension in Debian's headless Chromium: a page served on
localhost asks for the host's versions through the extension, Chromium starts
the staged host with the extension's origin as the shipped host registration
tells it, and the page shows the reply; a reply in pieces arrives whole. When
the browser goes away, so does the host."""

import functools
import http.server
import json
import os
import shutil
import subprocess
import tempfile
import threading
import time
import unittest

from nmhhost import TIMEOUT, private_environment, program_logs, stage_dir, stage_program

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", "..", "..", ".."))
DRIVER = os.path.join(HERE, "chromium", "drive_extension.mjs")


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class ExtensionInChromium(unittest.TestCase):
    def setUp(self):
        for needed in ("/usr/bin/chromium", os.environ.get("ZORVA_CHROME_MANIFEST", "-"),
                       os.path.join(HERE, "chromium", "node_modules", "playwright-core")):
            if not os.path.exists(needed):
                self.fail("missing %s: run scripts/install-deps.sh and build first" % needed)
        self.root = tempfile.mkdtemp(prefix="zorva-nmh-chromium-")
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.program_dir = stage_program(stage_dir(), os.path.join(self.root, "host"))
        self.approve_local_pages()
        self.profile = os.path.join(self.root, "profile")
        self.origin = self.register_host()
        handler = functools.partial(QuietHandler, directory=os.path.join(HERE, "page"))
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.addCleanup(self.server.server_close)
        self.addCleanup(self.server.shutdown)

    def approve_local_pages(self):
        """The administrator's list in the configuration approves the test
        page's origin: the headless host could ask nobody."""
        config_path = os.path.join(self.program_dir, "config.json")
        with open(config_path, encoding="utf-8") as default:
            config = json.load(default)
        os.unlink(config_path)
        (ws,) = [d for d in config["dependencies"] if d["format"]["type"] == "ws"]
        ws["meta"].append({"format": {"type": "ws", "category": "protocol.origins"},
                           "data": "http://localhost:*"})
        with open(config_path, "w", encoding="utf-8") as out:
            json.dump(config, out)

    def register_host(self):
        """The shipped Chromium registration, pointing at the staged host, in
        the profile's own registration folder; returns the origin it admits."""
        with open(os.environ["ZORVA_CHROME_MANIFEST"], encoding="utf-8") as shipped:
            manifest = json.load(shipped)
        manifest["path"] = os.path.join(self.program_dir, "plugin")
        hosts = os.path.join(self.profile, "NativeMessagingHosts")
        os.makedirs(hosts)
        with open(os.path.join(hosts, manifest["name"] + ".json"), "w", encoding="utf-8") as out:
            json.dump(manifest, out)
        (origin,) = manifest["allowed_origins"]
        return origin

    def host_log(self):
        return program_logs(self.program_dir)

    def wait_host_log(self, text):
        deadline = time.monotonic() + TIMEOUT
        while text not in self.host_log():
            if time.monotonic() > deadline:
                raise AssertionError("no host log line with %r in:\n%s"
                                     % (text, self.host_log()[-4000:]))
            time.sleep(0.05)

    def test_page_shows_the_hosts_versions_got_through_the_extension(self):
        page = "http://localhost:%d/index.html" % self.server.server_address[1]
        screenshot = os.environ.get("ZORVA_SCREENSHOT", os.path.join(self.root, "page.png"))

        run = subprocess.run(
            ["node", DRIVER, page, self.profile, os.path.join(REPO, "extension"), screenshot],
            env=private_environment(self.root), capture_output=True, text=True, timeout=240)

        self.assertEqual(run.returncode, 0, run.stderr[-4000:])
        shown = json.loads(run.stdout.strip().splitlines()[-1])
        self.assertEqual((shown["status"], shown["problems"]), ("done", []),
                         self.host_log()[-4000:])
        version = json.loads(shown["version"])
        self.assertEqual(version["host"], "1.3.19.0")
        self.assertIn("nmh", {module["type"] for module in version["modules"]})
        self.assertEqual(json.loads(shown["echo"]), {"same": True, "pieces": 3})
        self.assertEqual(shown["origin"], "http://localhost:%d" % self.server.server_address[1])
        self.wait_host_log("core: finish")
        self.assertIn("core: %s %s" % (os.path.join(self.program_dir, "plugin"), self.origin),
                      self.host_log())


if __name__ == "__main__":
    unittest.main()
