"""The crypto module in the staged host, against a private SoftHSM2 token.

`sign` of a document uploaded in chunks over a real WebSocket connection: the
host's own consent dialog appears on the X display (the test runs under
xvfb-run) and xdotool types the PIN into it, as a person would; nothing in a
request can answer it. The signature is judged by `openssl cms -verify`.
"""

import asyncio
import base64
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "ws", "e2e"))
from wshost import (Host, ask, connect, embedded_file_pieces, receive_reply,  # noqa: E402
                    request, stage_dir)

TOKEN_DIR = os.environ["CRYPTO_TOKEN_DIR"]
LONG_TERM = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "long_term")
# The consent window's title in the default branding.
DIALOG = "Создание электронной подписи"
# The host's log line once the dialog waits for another PIN.
AGAIN = 'ui: the prompt "%s" stays open for another answer' % DIALOG


def private_token(root):
    """A copy of the fixture's token; SOFTHSM2_CONF names it for the host."""
    shutil.copytree(os.path.join(TOKEN_DIR, "tokens"), os.path.join(root, "tokens"))
    conf = os.path.join(root, "softhsm2.conf")
    with open(conf, "w") as out:
        out.write("directories.tokendir = %s/tokens\nobjectstore.backend = file\n" % root)
    os.environ["SOFTHSM2_CONF"] = conf


def certificate_id(name):
    with open(os.path.join(TOKEN_DIR, name + ".der"), "rb") as der:
        return hashlib.sha256(der.read()).hexdigest()


def answer_dialog(*keys, pin=None):
    """Waits for the host's dialog, focuses it and types the PIN and keys
    through the X server (XTEST), as a keyboard does. Returns the X windows
    that carry the dialog's title."""
    windows = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", DIALOG],
                             check=True, capture_output=True, text=True, timeout=30).stdout.split()
    subprocess.run(["xdotool", "windowfocus", "--sync", windows[0]], check=True, timeout=30)
    if pin:
        subprocess.run(["xdotool", "type", "--delay", "30", pin], check=True, timeout=30)
    subprocess.run(["xdotool", "key"] + list(keys), check=True, timeout=30)
    return windows


def cms_verifies(signature, document, root):
    paths = [os.path.join(root, name) for name in ("signature.p7s", "document")]
    for path, data in zip(paths, (signature, document)):
        with open(path, "wb") as out:
            out.write(data)
    return subprocess.run(
        ["openssl", "cms", "-verify", "-cades", "-binary", "-inform", "DER", "-in", paths[0],
         "-content", paths[1], "-CAfile", os.path.join(TOKEN_DIR, "ca.pem"), "-out", os.devnull],
        capture_output=True).returncode == 0


def sign_pieces(document, certificate, level="CAdES-BES"):
    """A `sign` request cut as a page cuts an upload: the document travels
    in chunks inside the description of its file."""
    _, pieces = embedded_file_pieces("contract.pdf", document, piece_size=64 * 1024)
    head = {"certificate": certificate, "format": level, "detached": "true",
            "sha256": [hashlib.sha256(document).hexdigest()]}
    pieces[0] = (json.dumps(head)[:-1] + ',"files":[', "")
    return pieces


class CryptoEndToEnd(unittest.IsolatedAsyncioTestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="zorva-crypto-e2e-")
        private_token(cls.root)
        cls.host = Host(stage_dir(), qt_platform="xcb")

    @classmethod
    def tearDownClass(cls):
        cls.host.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    async def sign(self, document, certificate, *keys, pin=None, wrong_pins=(), level="CAdES-BES"):
        """Uploads and signs; the user types each wrong PIN, then `pin`, into
        the dialog. Returns the reply and the windows each answer went to."""
        ws = await connect(self.host.url)
        try:
            pieces = sign_pieces(document, certificate, level)
            message_id = "sign-%d" % len(document)
            for number, (data, file_id) in enumerate(pieces, 1):
                await ws.send(json.dumps(request(
                    "sign", data, module="crypto", id=message_id,
                    meta={"id": file_id, "chunk": str(number), "chunks": str(len(pieces))})))
            windows = []
            for tries, wrong in enumerate(wrong_pins, 1):
                windows.append(await asyncio.to_thread(answer_dialog, "Return", pin=wrong))
                await asyncio.to_thread(self.host.wait_log, AGAIN, tries)
            windows.append(await asyncio.to_thread(answer_dialog, *keys, pin=pin))
            return await receive_reply(ws), windows
        finally:
            await ws.close()

    async def test_sign_of_an_uploaded_document_verifies_and_a_changed_byte_fails(self):
        document = bytes(range(256)) * 2000

        reply, _ = await self.sign(document, certificate_id("RSA Signer"), "Return", pin="123456")

        self.assertEqual(reply["code"], "0", reply.get("error"))
        signature = base64.b64decode(json.loads(reply["method"]["result"])[0]["signature"])
        self.assertTrue(cms_verifies(signature, document, self.root))
        self.assertFalse(cms_verifies(signature, b"\x01" + document[1:], self.root))

    async def test_wrong_pin_then_the_right_one_in_the_same_window_signs(self):
        document = b"typed twice" * 1000

        reply, windows = await self.sign(document, certificate_id("EC Signer"), "Return",
                                         pin="123456", wrong_pins=["0000"])

        self.assertEqual(reply["code"], "0", reply.get("error"))
        self.assertEqual(len(windows[0]), 1, windows)
        self.assertEqual(windows[0], windows[1], "the second PIN went to another window")
        signature = base64.b64decode(json.loads(reply["method"]["result"])[0]["signature"])
        self.assertTrue(cms_verifies(signature, document, self.root))

    async def test_closing_the_dialog_cancels_with_20003(self):
        reply, _ = await self.sign(b"declined", certificate_id("EC Signer"), "Escape")

        self.assertEqual(reply["code"], "20003")
        self.assertEqual(reply["method"]["result"], "")

    async def test_certificates_lists_the_signing_keys_of_the_token(self):
        ws = await connect(self.host.url)
        reply = await ask(ws, request("certificates", "", module="crypto"))
        await ws.close()

        subjects = sorted(entry["subject"] for entry in json.loads(reply["method"]["result"]))
        self.assertEqual(subjects, ["CN=Always Signer", "CN=EC Signer", "CN=RSA Signer"])


def start_authorities(root):
    """The test TSA, OCSP responder and CRL server on a copy of the fixture's
    files under root: (process, port, directory)."""
    directory = os.path.join(root, "authorities")
    shutil.copytree(os.environ["CRYPTO_AUTHORITY_DIR"], directory)
    server = subprocess.Popen(
        ["/usr/bin/python3", os.path.join(LONG_TERM, "authority_server.py"), directory, "good"],
        stdout=subprocess.PIPE, text=True)
    return server, int(server.stdout.readline().split()[1]), directory


def stop_authorities(server):
    server.terminate()
    server.wait()
    server.stdout.close()


def crypto_meta(entries):
    return [{"format": {"type": "crypto", "category": category}, "data": data}
            for category, data in entries.items()]


def inline(name, data):
    return {"name": name, "content": base64.b64encode(data).decode(), "contentEncoding": "base64"}


class LongTermEndToEnd(unittest.IsolatedAsyncioTestCase):
    """Levels T and LT in the staged host, against the test authorities on
    127.0.0.1 that the configuration lists; the signer's certificate names
    their OCSP responder."""

    sign = CryptoEndToEnd.sign

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="zorva-crypto-long-term-")
        private_token(cls.root)
        cls.server, port, authorities = start_authorities(cls.root)
        subprocess.run(["sh", os.path.join(LONG_TERM, "issue_long_term.sh"), authorities, str(port),
                        TOKEN_DIR, "good"], check=True)
        with open(os.path.join(authorities, "signer.der"), "rb") as der:
            cls.signer = hashlib.sha256(der.read()).hexdigest()
        entries = {"tsa": "http://127.0.0.1:%d/tsa" % port, "revocationFetch": "true",
                   "trustStore": os.path.join(TOKEN_DIR, "ca.pem"),
                   "tsaTrustStore": os.path.join(authorities, "tsa-ca.pem")}
        cls.host = Host(stage_dir(), qt_platform="xcb", meta={"crypto": crypto_meta(entries)})

    @classmethod
    def tearDownClass(cls):
        cls.host.close()
        stop_authorities(cls.server)
        shutil.rmtree(cls.root, ignore_errors=True)

    async def call(self, method, data):
        ws = await connect(self.host.url)
        try:
            reply = await ask(ws, request(method, json.dumps(data), module="crypto"))
        finally:
            await ws.close()
        self.assertEqual(reply["code"], "0", reply.get("error"))
        return json.loads(reply["method"]["result"])

    async def verdict(self, signature, document):
        return await self.call("verify", {"files": [inline("contract.p7s", signature),
                                                    inline("contract.pdf", document)]})

    async def test_sign_at_level_t_carries_a_timestamp_that_verifies(self):
        document = b"stamped" * 5000

        reply, _ = await self.sign(document, self.signer, "Return", pin="123456",
                                   level="CAdES-T")

        self.assertEqual(reply["code"], "0", reply.get("error"))
        signature = base64.b64decode(json.loads(reply["method"]["result"])[0]["signature"])
        self.assertTrue(cms_verifies(signature, document, self.root))
        verdict = await self.verdict(signature, document)
        self.assertEqual((verdict["level"], verdict["timestampValid"]), ("CAdES-T", "true"))

    async def test_augment_brings_an_earlier_signature_from_b_to_t_to_lt_without_a_dialog(self):
        document = b"kept for years" * 5000
        reply, _ = await self.sign(document, self.signer, "Return", pin="123456")
        self.assertEqual(reply["code"], "0", reply.get("error"))
        bes = base64.b64decode(json.loads(reply["method"]["result"])[0]["signature"])

        stamped = await self.call("augment", {"format": "CAdES-T", "files": [
            inline("contract.p7s", bes), inline("contract.pdf", document)]})
        long_term = await self.call("augment", {"format": "CAdES-LT", "files": [
            inline("contract.p7s", base64.b64decode(stamped["signature"])),
            inline("contract.pdf", document)]})

        signature = base64.b64decode(long_term["signature"])
        self.assertTrue(cms_verifies(signature, document, self.root))
        verdict = await self.verdict(signature, document)
        self.assertEqual((verdict["level"], verdict["revocation"], verdict["timestampValid"]),
                         ("CAdES-LT", "complete", "true"))


class AlgorithmsOption(unittest.TestCase):
    def test_plugin_dash_capital_a_logs_the_tokens_mechanisms(self):
        root = tempfile.mkdtemp(prefix="zorva-crypto-algorithms-")
        try:
            private_token(root)
            program_dir = os.path.join(root, "plugin")
            shutil.copytree(stage_dir(), program_dir, symlinks=True)
            runtime = os.path.join(root, "runtime")
            os.mkdir(runtime, 0o700)
            env = dict(os.environ, HOME=root, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="offscreen",
                       XDG_DATA_HOME=os.path.join(root, "share"))
            run = subprocess.run([os.path.join(program_dir, "plugin"), "-A", "softhsm2"],
                                 env=env, capture_output=True, text=True, timeout=60)
        finally:
            shutil.rmtree(root, ignore_errors=True)

        self.assertEqual(run.returncode, 0, run.stderr[-3000:])
        self.assertIn("core: process algorithms from softhsm2", run.stderr)
        self.assertIn("CKM_RSA_PKCS_PSS", run.stderr)
        self.assertIn("CKM_ECDSA", run.stderr)
        self.assertIn("Test Token", run.stderr)


if __name__ == "__main__":
    unittest.main()
