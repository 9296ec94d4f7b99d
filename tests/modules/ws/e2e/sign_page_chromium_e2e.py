"""Signing from a real page: the example signing page in Debian's headless
Chromium talks to the staged host, which runs on a virtual X display with a
SoftHSM2 token; xdotool answers the host's windows as the user would. A site
the user has not approved yet is asked about first, then the user consents
and types the PIN, and the page's 20 MiB document gets a signature that
OpenSSL verifies; a cancel reaches the page as its typed error, a consent
nobody could answer as another, and so does a host killed in the middle of
an upload, which also turns the page's status red. Runs under xvfb-run."""

import functools
import http.server
import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import unittest

from wshost import TIMEOUT, Host, stage_dir, wait_listening

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "..", ".."))
DRIVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "chromium",
                      "drive_sign_page.mjs")
sys.path.insert(0, os.path.join(REPO, "tests", "modules", "crypto", "e2e"))
from crypto_e2e import (DIALOG, LONG_TERM, TOKEN_DIR, crypto_meta,  # noqa: E402
                        private_token, start_authorities, stop_authorities)

PIN = "123456"
UPLOAD_LIMIT = 150
APPROVAL_TITLE = "^ZorvaPlugin$"


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def xdotool(*arguments, timeout=TIMEOUT):
    return subprocess.run(["xdotool", *arguments], check=True, capture_output=True, text=True,
                          timeout=timeout).stdout.split()


class SignPageInChromium(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.environ.get("DISPLAY"):
            raise unittest.SkipTest("needs an X display: run under xvfb-run")
        for needed in ("/usr/bin/chromium",
                       os.path.join(REPO, "clients", "js", "node_modules", "hash-wasm"),
                       os.path.join(os.path.dirname(DRIVER), "node_modules", "playwright-core")):
            if not os.path.exists(needed):
                raise AssertionError("missing %s: run scripts/install-deps.sh" % needed)
        cls.work = tempfile.TemporaryDirectory(prefix="zorva-sign-page-")
        private_token(cls.work.name)
        handler = functools.partial(QuietHandler, directory=REPO)
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.origin = "http://localhost:%d" % cls.server.server_address[1]

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()
        cls.work.cleanup()

    def start_host(self, answers=None, qt_platform="xcb", meta=None):
        host = Host(stage_dir(), qt_platform=qt_platform, answers=answers, meta=meta)
        self.addCleanup(host.close)
        return host

    def start_page(self, host, name, files, level="CAdES-BES", augment=None):
        out = tempfile.mkdtemp(dir=self.work.name)
        job = {"page": "%s/examples/sign-page/index.html?ws=%s" % (self.origin, host.url),
               "profile": os.path.join(out, "profile"), "out": out,
               "certificate": "RSA Signer", "files": files, "level": level, "augment": augment,
               "screenshot": self.picture(name)}
        driver = subprocess.Popen(["node", DRIVER, json.dumps(job)], stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, text=True)
        self.addCleanup(driver.kill)
        return driver

    def page_result(self, driver):
        out, err = driver.communicate(timeout=240)
        self.assertEqual(driver.returncode, 0, err[-4000:])
        shown = json.loads(out.strip().splitlines()[-1])
        self.assertEqual(shown["problems"], [])
        return shown

    def picture(self, name):
        folder = os.environ.get("ZORVA_SCREENSHOTS") or self.work.name
        return os.path.join(folder, name + ".png")

    def host_window(self, host, title):
        """The host's visible window with this title, once it is shown: the
        consent window comes after the upload, which a busy machine slows."""
        (window, *_) = xdotool("search", "--sync", "--onlyvisible", "--all", "--pid",
                               str(host.process.pid), "--name", title, timeout=UPLOAD_LIMIT)
        xdotool("windowfocus", "--sync", window)
        # Each title comes up once per host here.
        wait_listening(host, title.strip("^$"))
        return window

    def answer_consent(self, host, keys, picture=None):
        window = self.host_window(host, "^%s$" % DIALOG)
        if keys[0] == "type":
            xdotool("type", "--delay", "30", keys[1])
            keys = keys[2:]
        if picture:
            subprocess.run(["import", "-window", window, self.picture(picture)], check=True,
                           timeout=TIMEOUT)
        xdotool("key", *keys)

    def document(self, name, size):
        path = os.path.join(self.work.name, name)
        with open(path, "wb") as out:
            out.write(os.urandom(size))
        return path

    def verify(self, signature, document):
        return subprocess.run(
            ["openssl", "cms", "-verify", "-cades", "-binary", "-inform", "DER", "-in", signature,
             "-content", document, "-CAfile", os.path.join(TOKEN_DIR, "ca.pem"),
             "-purpose", "any", "-out", os.devnull], capture_output=True, text=True)

    def test_new_site_is_approved_first_then_consent_signs_a_20_mib_document_that_verifies(self):
        host = self.start_host()
        document = self.document("contract.bin", 20 * 1024 * 1024)
        driver = self.start_page(host, "sign-page-signed", [document])

        host.wait_log('asking the user about origin "%s"' % self.origin)
        self.host_window(host, APPROVAL_TITLE)
        xdotool("key", "--clearmodifiers", "alt+a")
        self.answer_consent(host, ["type", PIN, "Return"], picture="consent-dialog-e2e")
        shown = self.page_result(driver)

        self.assertEqual(shown["message"], "Signed 1 document(s).")
        self.assertEqual(shown["progress"], 1)
        self.assertEqual([os.path.basename(p) for p in shown["signatures"]], ["contract.bin.p7s"])
        checked = self.verify(shown["signatures"][0], document)
        self.assertEqual(checked.returncode, 0, checked.stderr)
        self.assertIn("Verification successful", checked.stderr)
        self.assertEqual(shown["verified"], {"valid": "true", "signer": "CN=RSA Signer"})
        changed = self.document("changed.bin", 0)
        with open(document, "rb") as original, open(changed, "wb") as out:
            data = bytearray(original.read())
            data[12345] ^= 1
            out.write(data)
        self.assertNotEqual(self.verify(shown["signatures"][0], changed).returncode, 0)
        self.assertNotIn(PIN, host.log(), "the PIN reached the log")

    def test_the_page_signs_at_level_t_and_the_client_brings_it_to_lt(self):
        server, port, authorities = start_authorities(self.work.name)
        self.addCleanup(stop_authorities, server)
        # The token's signer gets a certificate that names the test's OCSP responder.
        subprocess.run(["sh", os.path.join(LONG_TERM, "issue_long_term.sh"), authorities,
                        str(port), TOKEN_DIR, "good"], check=True)
        host = self.start_host(answers={self.origin: "allow"}, meta={"crypto": crypto_meta({
            "tsa": "http://127.0.0.1:%d/tsa" % port, "revocationFetch": "true",
            "trustStore": os.path.join(TOKEN_DIR, "ca.pem"),
            "tsaTrustStore": os.path.join(authorities, "tsa-ca.pem")})})
        document = self.document("stamped.txt", 4096)
        driver = self.start_page(host, "sign-page-level-t", [document], level="CAdES-T",
                                 augment="CAdES-LT")

        self.answer_consent(host, ["type", PIN, "Return"])
        shown = self.page_result(driver)

        self.assertEqual(shown["message"], "Signed 1 document(s).")
        checked = self.verify(shown["signatures"][0], document)
        self.assertEqual(checked.returncode, 0, checked.stderr)
        printed = subprocess.run(["openssl", "cms", "-cmsout", "-print", "-inform", "DER", "-in",
                                  shown["signatures"][0]], capture_output=True, text=True)
        self.assertIn("id-smime-aa-timeStampToken", printed.stdout)
        self.assertEqual(shown["augmented"]["level"], "CAdES-LT", shown["augmented"])
        checked = self.verify(shown["augmented"]["path"], document)
        self.assertEqual(checked.returncode, 0, checked.stderr)

    def test_cancel_in_the_consent_window_gives_the_page_its_typed_error(self):
        host = self.start_host(answers={self.origin: "allow"})
        driver = self.start_page(host, "sign-page-cancelled", [self.document("a.txt", 100)])

        self.answer_consent(host, ["Escape"])
        shown = self.page_result(driver)

        self.assertEqual(shown["error"], "CancelledError")
        self.assertEqual(shown["signatures"], [])
        self.assertIn("Signing was cancelled", shown["message"])
        self.assertNotIn("asking the user about origin", host.log())

    def test_a_consent_nobody_can_answer_reaches_the_page_as_a_time_out_not_a_cancel(self):
        # Without a display the host's window gets no answer, as when the user is away.
        host = self.start_host(answers={self.origin: "allow"}, qt_platform="offscreen")
        driver = self.start_page(host, "sign-page-timed-out", [self.document("b.txt", 100)])

        shown = self.page_result(driver)

        self.assertEqual(shown["error"], "TimedOutError")
        self.assertIn("nobody answered the signing program's window in time", shown["message"])
        self.assertTrue(shown["statusOk"])

    def test_host_killed_mid_upload_gives_a_typed_connection_lost_error_and_a_red_status(self):
        host = self.start_host(answers={self.origin: "allow"})
        driver = self.start_page(host, "sign-page-connection-lost",
                                 [self.document("large.bin", 64 * 1024 * 1024)])

        host.wait_log("chunk store: write chunk", timeout=UPLOAD_LIMIT)
        os.killpg(host.process.pid, signal.SIGKILL)
        shown = self.page_result(driver)

        self.assertEqual(shown["error"], "ConnectionLostError")
        self.assertIn("The connection to the signing program was lost", shown["message"])
        self.assertFalse(shown["statusOk"])
        self.assertIn("not reachable", shown["status"])
        self.assertLess(shown["progress"], 1)


if __name__ == "__main__":
    unittest.main()
