"""Signing through the browser extension in Debian's headless Chromium and in
Firefox ESR (WebDriver BiDi, the extension installed as a temporary add-on),
from the one extension/ folder: the example signing page finds the extension
by itself, the browser starts the staged host through the shipped host
registration of that browser, xdotool answers the host's consent window on
the virtual X display, and the .p7s verifies with OpenSSL and with the
host's own verify through the extension; a reply in pieces comes back whole,
the page's requests take the extension's frame in Chromium and the content
script in Firefox, which never tells a page its per-installation address,
and the host sees the page's own origin whatever a request names; a frame
of another origin within the page gets no answer from the extension by
either route. In Chromium the
page's address is treated as public, as a portal's is: Local Network Access
keeps the page from the WebSocket endpoint, and the extension signs all the
same; without its host registered, the page falls back to WebSocket; a host
killed in the middle of an upload reaches the page as a lost connection.
Runs under xvfb-run."""

import base64
import functools
import hashlib
import http.server
import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time
import types
import unittest

from nmhhost import program_logs, stage_dir, stage_program

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", "..", "..", ".."))
DRIVER = os.path.join(HERE, "browsers", "drive_sign_page.mjs")
sys.path.insert(0, os.path.join(REPO, "tests", "modules", "crypto", "e2e"))
sys.path.insert(0, os.path.join(REPO, "tests", "modules", "ws", "e2e"))
from crypto_e2e import DIALOG, TOKEN_DIR, answer_dialog, private_token  # noqa: E402
from wshost import Host, prompt_holds  # noqa: E402

PIN = "123456"
# Per browser: whether the client takes the extension's frame, and the
# schemes of the frames in the page once it connected.
ROUTES = {"chromium": (True, ["chrome-extension:"]), "firefox": (False, [])}
# More than the client keeps in flight through the extension (4 MiB).
DOCUMENT_SIZE = 6 * 1024 * 1024 + 12345


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class ExtensionSigning(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.environ.get("DISPLAY"):
            raise unittest.SkipTest("needs an X display: run under xvfb-run")
        for needed in ("/usr/bin/chromium", "/usr/bin/firefox-esr",
                       os.environ.get("ZORVA_CHROME_MANIFEST", "-"),
                       os.environ.get("ZORVA_FIREFOX_MANIFEST", "-"),
                       os.path.join(REPO, "clients", "js", "node_modules", "hash-wasm"),
                       os.path.join(HERE, "browsers", "node_modules", "puppeteer-core")):
            if not os.path.exists(needed):
                raise AssertionError("missing %s: run scripts/install-deps.sh and build" % needed)
        cls.work = tempfile.TemporaryDirectory(prefix="zorva-extension-sign-")
        private_token(cls.work.name)
        handler = functools.partial(QuietHandler, directory=REPO)
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.port = cls.server.server_address[1]
        cls.document = os.path.join(cls.work.name, "contract.bin")
        with open(cls.document, "wb") as out:
            out.write(os.urandom(DOCUMENT_SIZE))

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()
        cls.work.cleanup()

    def setUp(self):
        self.root = tempfile.mkdtemp(dir=self.work.name)
        self.program_dir = stage_program(stage_dir(), os.path.join(self.root, "host"))

    def approve(self, origin):
        """What the user answered before: the site may use the host."""
        with open(os.path.join(self.program_dir, "permissions.json"), "w") as out:
            json.dump({"origins": {origin: "allow"}}, out)

    def register(self, manifest_variable, folder):
        """The shipped host registration of one browser, pointing at the
        staged host, in the folder that browser reads it from."""
        with open(os.environ[manifest_variable], encoding="utf-8") as shipped:
            manifest = json.load(shipped)
        manifest["path"] = os.path.join(self.program_dir, "plugin")
        os.makedirs(folder)
        with open(os.path.join(folder, manifest["name"] + ".json"), "w") as out:
            json.dump(manifest, out)

    def host_log(self):
        return program_logs(self.program_dir)

    def host_pids(self):
        """The hosts the browser started from this test's program directory."""
        program = os.path.join(self.program_dir, "plugin")
        pids = []
        for entry in filter(str.isdigit, os.listdir("/proc")):
            try:
                if os.readlink("/proc/%s/exe" % entry) == program:
                    pids.append(int(entry))
            except OSError:
                pass
        return pids

    def wait_host_log(self, text, timeout=120):
        deadline = time.monotonic() + timeout
        while text not in self.host_log():
            if time.monotonic() > deadline:
                raise AssertionError("no host log line with %r" % text)
            time.sleep(0.05)

    def start_driver(self, browser, page, **job):
        job = dict(dict(browser=browser, page=page, profile=os.path.join(self.root, "profile"),
                        extension=os.path.join(REPO, "extension"), certificate="RSA Signer",
                        files=[self.document], screenshot=self.picture("extension-" + browser)),
                   **job)
        env = dict(os.environ, HOME=self.root, XDG_RUNTIME_DIR=self.root,
                   QT_QPA_PLATFORM="xcb")
        driver = subprocess.Popen(["node", DRIVER, json.dumps(job)], stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, text=True, env=env)
        self.addCleanup(driver.kill)
        return driver

    def shown(self, driver):
        out, err = driver.communicate(timeout=240)
        self.assertEqual(driver.returncode, 0, err[-4000:] + self.host_log()[-4000:])
        shown = json.loads(out.strip().splitlines()[-1])
        self.assertEqual(shown["problems"], [])
        return shown

    def sign_in(self, browser, page, consent=True, **job):
        # The hosts the browser starts write their logs where host_log reads.
        hosts = types.SimpleNamespace(log=self.host_log)
        holds = prompt_holds(hosts, DIALOG)
        driver = self.start_driver(browser, page, **job)
        if consent:
            answer_dialog(hosts, holds, "Return", pin=PIN)
        return self.shown(driver)

    def picture(self, name):
        folder = os.environ.get("ZORVA_SCREENSHOTS") or self.root
        return os.path.join(folder, name + ".png")

    def assert_route(self, echoed, browser):
        framed, frames = ROUTES[browser]
        self.assertEqual((echoed["framed"], echoed["frames"]), (framed, frames))
        announced = echoed["announced"]
        if framed:
            self.assertTrue(json.loads(announced)["frame"].startswith("chrome-extension://"))
        else:
            self.assertNotIn("extension://", announced)

    def assert_signed(self, shown, origin, browser):
        # The host sees the page's true origin by either route.
        echoed = shown["echoed"]
        self.assert_route(echoed, browser)
        self.assertEqual({key: echoed[key] for key in ("transport", "same", "origin")},
                         {"transport": "extension", "same": True, "origin": origin})
        self.assertEqual((shown["message"], shown["error"]), ("Signed 1 document(s).", ""),
                         self.host_log()[-4000:])
        self.assertIn("through the browser extension", shown["status"])
        with open(self.document, "rb") as document:
            sha256 = hashlib.sha256(document.read()).hexdigest()
        self.assertEqual(shown["digests"], [sha256[:16]])
        (signature,) = shown["signatures"]
        self.assertEqual(signature["name"], "contract.bin.p7s")
        path = os.path.join(self.root, signature["name"])
        with open(path, "wb") as out:
            out.write(base64.b64decode(signature["base64"]))
        checked = subprocess.run(
            ["openssl", "cms", "-verify", "-cades", "-binary", "-inform", "DER", "-in", path,
             "-content", self.document, "-CAfile", os.path.join(TOKEN_DIR, "ca.pem"),
             "-purpose", "any", "-out", os.devnull], capture_output=True, text=True)
        self.assertEqual(checked.returncode, 0, checked.stderr)
        self.assertEqual(shown["verified"], {"valid": "true", "signer": "CN=RSA Signer"})

    def test_chromium_public_page_is_kept_from_websocket_and_signs_through_the_extension(self):
        # The page at 127.0.0.1 is public to the browser; the host's endpoint stays local.
        origin = "http://127.0.0.1:%d" % self.port
        self.approve(origin)
        self.register("ZORVA_CHROME_MANIFEST",
                      os.path.join(self.root, "profile", "NativeMessagingHosts"))
        websocket = Host(stage_dir(), answers={origin: "allow"})
        self.addCleanup(websocket.close)

        shown = self.sign_in("chromium", origin + "/examples/sign-page/index.html",
                             probe=websocket.url,
                             args=["--ip-address-space-overrides=127.0.0.1:%d=public" % self.port])

        self.assertEqual(shown["probed"], "HostNotRunningError")
        self.assert_signed(shown, origin, "chromium")
        self.assertIn("chrome-extension://", self.host_log())

    def test_chromium_with_the_extension_but_no_host_falls_back_to_websocket(self):
        origin = "http://localhost:%d" % self.port
        websocket = Host(stage_dir(), answers={origin: "allow"})
        self.addCleanup(websocket.close)

        shown = self.sign_in("chromium", "%s/examples/sign-page/index.html?ws=%s"
                             % (origin, websocket.url), consent=False, certificate="nobody",
                             screenshot=self.picture("extension-fallback-chromium"),
                             echo=False)

        self.assertIn("through %s" % websocket.url, shown["status"])
        self.assertEqual(shown["message"], "3 certificate(s) can sign.")

    def test_chromium_host_killed_mid_upload_gives_a_connection_lost_error_and_a_red_status(self):
        origin = "http://localhost:%d" % self.port
        self.approve(origin)
        self.register("ZORVA_CHROME_MANIFEST",
                      os.path.join(self.root, "profile", "NativeMessagingHosts"))
        large = os.path.join(self.root, "large.bin")
        with open(large, "wb") as out:
            out.write(os.urandom(64 * 1024 * 1024))

        driver = self.start_driver("chromium", origin + "/examples/sign-page/index.html",
                                   files=[large], echo=False,
                                   screenshot=self.picture("extension-connection-lost"))
        self.wait_host_log("chunk store: write chunk")
        for pid in self.host_pids():
            os.kill(pid, signal.SIGKILL)
        shown = self.shown(driver)

        self.assertEqual(shown["error"], "ConnectionLostError")
        self.assertIn("The connection to the signing program was lost", shown["message"])
        self.assertFalse(shown["statusOk"])
        self.assertIn("the browser extension", shown["status"])

    def test_chromium_keeps_one_host_per_tab_when_it_stopped_the_background_script(self):
        # The browser stops the background script when it has been idle: the
        # frame that holds the tab's host registers again, and a newer frame
        # of the tab still ends it before starting its own.
        origin = "http://localhost:%d" % self.port
        self.approve(origin)
        self.register("ZORVA_CHROME_MANIFEST",
                      os.path.join(self.root, "profile", "NativeMessagingHosts"))

        driver = self.start_driver("chromium", origin + "/examples/sign-page/index.html",
                                   restart=True, program=os.path.join(self.program_dir, "plugin"))
        shown = self.shown(driver)

        self.assertEqual(shown["restart"], {
            "firstFramed": True, "framed": True, "answered": True,
            "firstLost": "a newer page of this tab uses the host",
            "later": "a newer page of this tab uses the host", "hosts": 1})

    def test_firefox_signs_through_the_extension_installed_as_a_temporary_add_on(self):
        origin = "http://localhost:%d" % self.port
        self.approve(origin)
        self.register("ZORVA_FIREFOX_MANIFEST",
                      os.path.join(self.root, ".mozilla", "native-messaging-hosts"))
        websocket = Host(stage_dir(), answers={origin: "allow"})
        self.addCleanup(websocket.close)

        shown = self.sign_in("firefox", origin + "/examples/sign-page/index.html",
                             probe=websocket.url)

        # Firefox lets a page reach the local endpoint; the page still prefers the extension.
        self.assertEqual(shown["probed"], "connected")
        self.assert_signed(shown, origin, "firefox")
        self.assertIn("plugin@zorva.org", self.host_log())

    def test_a_frame_of_another_origin_gets_no_answer_from_the_extension_by_either_route(self):
        page = "http://%s:%d/tests/modules/nmh/e2e/page/framed.html"
        refused = {"ownFrame": "refused", "topsFrame": "refused", "contentScript": "refused"}
        expected = {"chromium": {"top": "frame", "child": refused},
                    "firefox": {"top": "content script",
                                "child": dict(refused, ownFrame="none", topsFrame="none")}}
        for browser, attempts in expected.items():
            with self.subTest(browser=browser):
                driver = self.start_driver(browser, "%s?child=%s" % (
                    page % ("localhost", self.port), page % ("127.0.0.1", self.port)),
                    profile=os.path.join(self.root, "profile-" + browser), attempts=True)
                shown = self.shown(driver)

                self.assertEqual(shown["attempts"], attempts)


if __name__ == "__main__":
    unittest.main()
