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
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "ws", "e2e"))
from wshost import (Host, ask, connect, embedded_file_pieces, prompt_holds,  # noqa: E402
                    receive_reply, request, stage_dir, wait_listening)

TOKEN_DIR = os.environ["CRYPTO_TOKEN_DIR"]
SOFTHSM = "/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so"
LONG_TERM = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "long_term")
# The consent window's title in the default branding, in English (the
# harness's host runs in an English locale).
DIALOG = "Creating an electronic signature"
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


def windows_titled(title, timeout=30):
    """The visible X windows titled `title`, once there is one. xdotool's own
    name search reads the Latin-1 title property and misses Cyrillic ones."""
    deadline = time.monotonic() + timeout
    while True:
        shown = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."],
                               capture_output=True, text=True, timeout=30).stdout.split()
        titled = [window for window in shown
                  if subprocess.run(["xdotool", "getwindowname", window], capture_output=True,
                                    text=True, timeout=30).stdout.rstrip("\n") == title]
        if titled:
            return titled
        if time.monotonic() > deadline:
            raise AssertionError("no window titled %r" % title)
        time.sleep(0.1)


def picture_window(window, path, timeout=30):
    """Pictures the window once it is painted: two pictures in a row alike,
    and not of one colour."""
    deadline = time.monotonic() + timeout
    previous = None
    while True:
        subprocess.run(["import", "-window", window, path], check=True, timeout=30)
        colours, pixels = subprocess.run(["identify", "-format", "%k %#", path], check=True,
                                         capture_output=True, text=True,
                                         timeout=30).stdout.split()
        if int(colours) > 1 and pixels == previous:
            return
        if time.monotonic() > deadline:
            raise AssertionError("the window %s was not painted" % window)
        previous = pixels


def answer_dialog(host, holds_before, *keys, pin=None, title=DIALOG, inspect=None,
                  picture=None):
    """Waits for the host's dialog, focuses it, waits until it takes keys
    (`holds_before` is prompt_holds() from before the request), pictures it
    into the file `picture` names, lets `inspect` look at the window, and
    types the PIN and keys through the X server (XTEST), as a keyboard does.
    Returns the X windows that carry the dialog's title."""
    windows = windows_titled(title)
    subprocess.run(["xdotool", "windowfocus", "--sync", windows[0]], check=True, timeout=30)
    wait_listening(host, title, holds_before)
    if picture:
        picture_window(windows[0], picture)
    if inspect:
        inspect(windows[0])
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


def geometry(command, *window):
    """The X server's figures for a window or the screen, as xdotool gives
    them: X, Y, WIDTH, HEIGHT."""
    shell = subprocess.run(["xdotool", command, "--shell", *window], check=True,
                           capture_output=True, text=True, timeout=30).stdout
    return {key: int(value) for key, value in
            (line.split("=", 1) for line in shell.splitlines() if "=" in line)
            if value.isdigit()}


def picture(window, name):
    """Keeps a picture of the screen when ZORVA_SCREENSHOTS names a folder."""
    folder = os.environ.get("ZORVA_SCREENSHOTS")
    if folder:
        subprocess.run(["import", "-window", "root", os.path.join(folder, name + ".png")],
                       check=True, timeout=60)


def sign_pieces(document, certificate, name="contract.pdf", level="CAdES-BES"):
    """A `sign` request cut as a page cuts an upload: the document travels
    in chunks inside the description of its file."""
    _, pieces = embedded_file_pieces(name, document, piece_size=64 * 1024)
    head = {"certificate": certificate, "format": level, "detached": "true",
            "sha256": [hashlib.sha256(document).hexdigest()]}
    pieces[0] = (json.dumps(head)[:-1] + ',"files":[', "")
    return pieces


async def send_sign(ws, document, certificate, name="contract.pdf", level="CAdES-BES"):
    pieces = sign_pieces(document, certificate, name, level)
    message_id = "sign-%d" % len(document)
    for number, (data, file_id) in enumerate(pieces, 1):
        await ws.send(json.dumps(request(
            "sign", data, module="crypto", id=message_id,
            meta={"id": file_id, "chunk": str(number), "chunks": str(len(pieces))})))


def change_pin(old, new):
    """Gives the private token's user another PIN."""
    subprocess.run(["pkcs11-tool", "--module", SOFTHSM, "--login", "--pin", old, "--change-pin",
                    "--new-pin", new], check=True, capture_output=True, timeout=60)


# A sanitizer build reserves terabytes of shadow and allocator space, which
# cannot be read whole; a plain build's host has no region near this size.
LARGEST_REGION = 4 << 30
# Regions are read in pieces that overlap by less than a needle.
PIECE = 64 << 20


def memory_holding(pid, needles):
    """The needles found in the live process's memory, read region by region
    through /proc/PID/mem as its memory map lists them."""
    found = set()
    overlap = max(len(needle) for needle in needles) - 1
    with open("/proc/%d/maps" % pid) as maps, open("/proc/%d/mem" % pid, "rb", 0) as mem:
        for line in maps:
            fields = line.split()
            start, end = (int(address, 16) for address in fields[0].split("-"))
            if not fields[1].startswith("r") or end - start > LARGEST_REGION:
                continue
            for at in range(start, end, PIECE):
                try:
                    mem.seek(max(start, at - overlap))
                    piece = mem.read(min(end, at + PIECE) - max(start, at - overlap))
                except (OSError, OverflowError, ValueError):
                    break
                found.update(needle for needle in needles if needle in piece)
    return found


class SigningHost(unittest.IsolatedAsyncioTestCase):
    """The staged host on the X display with a private copy of the token."""

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="zorva-crypto-e2e-")
        private_token(cls.root)
        cls.prepare_token()
        cls.host = Host(stage_dir(), qt_platform="xcb")

    @classmethod
    def prepare_token(cls):
        pass

    @classmethod
    def tearDownClass(cls):
        cls.host.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    async def sign(self, document, certificate, *keys, pin=None, wrong_pins=(),
                   name="contract.pdf", inspect=None, level="CAdES-BES"):
        """Uploads and signs; the user types each wrong PIN, then `pin`, into
        the dialog, which `inspect` may look at first. Returns the reply and
        the windows each answer went to."""
        ws = await connect(self.host.url)
        try:
            holds = prompt_holds(self.host, DIALOG)
            await send_sign(ws, document, certificate, name, level)
            windows = []
            for tries, wrong in enumerate(wrong_pins, 1):
                windows.append(await asyncio.to_thread(answer_dialog, self.host, holds, "Return",
                                                       pin=wrong))
                await asyncio.to_thread(self.host.wait_log, AGAIN, tries)
            windows.append(await asyncio.to_thread(answer_dialog, self.host, holds, *keys, pin=pin,
                                                   inspect=inspect))
            return await receive_reply(ws), windows
        finally:
            await ws.close()


class CryptoEndToEnd(SigningHost):
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

    def assert_fits_the_screen(self, window):
        screen = geometry("getdisplaygeometry")
        shown = geometry("getwindowgeometry", window)
        self.assertGreaterEqual(min(shown["X"], shown["Y"]), 0, shown)
        self.assertLessEqual(shown["X"] + shown["WIDTH"], screen["WIDTH"], shown)
        self.assertLessEqual(shown["Y"] + shown["HEIGHT"], screen["HEIGHT"], shown)

    async def test_any_utf8_name_up_to_1024_characters_is_signed_in_a_window_that_fits(self):
        cases = [("1,024 Cyrillic characters", "Договор " * 127 + "№15.pdf", "consent-long-name"),
                 ("right-to-left override", "invoice_\u202efdp.exe", "consent-rlo-name"),
                 ("line break", "a.pdf\nALSO SIGNED: b.pdf", None)]
        for number, (case, name, picture_name) in enumerate(cases):
            with self.subTest(case):
                def inspect(window, picture_name=picture_name):
                    self.assert_fits_the_screen(window)
                    if picture_name:
                        picture(window, picture_name)

                reply, _ = await self.sign(b"named %d" % number * (50 + number),
                                           certificate_id("EC Signer"), "Return", pin="123456",
                                           name=name, inspect=inspect)

                self.assertEqual(reply["code"], "0", reply.get("error"))
                self.assertEqual(json.loads(reply["method"]["result"])[0]["name"], name)

    async def test_sign_hash_window_shows_the_hash_and_fits(self):
        ws = await connect(self.host.url)
        try:
            holds = prompt_holds(self.host, DIALOG)
            digest = hashlib.sha256(b"prepared by the site").digest()
            await ws.send(json.dumps(request("signHash", json.dumps(
                {"certificate": certificate_id("EC Signer"), "hashFunction": "SHA-256",
                 "hash": base64.b64encode(digest).decode()}), module="crypto", id="hash-1")))

            def inspect(window):
                self.assert_fits_the_screen(window)
                picture(window, "consent-sign-hash")

            await asyncio.to_thread(answer_dialog, self.host, holds, "Return", pin="123456",
                                    inspect=inspect)
            reply = await receive_reply(ws)
        finally:
            await ws.close()

        self.assertEqual(reply["code"], "0", reply.get("error"))

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


PORTAL = "https://portal.example"


class ConsentLanguage(unittest.IsolatedAsyncioTestCase):
    """The host in a Russian and in an English locale: its consent window
    carries the locale's title, and is pictured (into ZORVA_SCREENSHOTS when
    set) for the window's texts to be seen."""

    async def test_the_consent_window_speaks_the_language_of_the_locale(self):
        root = tempfile.mkdtemp(prefix="zorva-crypto-language-")
        private_token(root)
        folder = os.environ.get("ZORVA_SCREENSHOTS") or root
        try:
            for language, title, name in (
                    ("ru_RU.UTF-8", "Создание электронной подписи", "consent-window-ru"),
                    ("en_US.UTF-8", DIALOG, "consent-window-en")):
                with self.subTest(language=language):
                    host = Host(stage_dir(), qt_platform="xcb", language=language,
                                answers={PORTAL: "allow"})
                    try:
                        ws = await connect(host.url, origin=PORTAL)
                        holds = prompt_holds(host, title)
                        await send_sign(ws, b"%PDF-1.7 contract" * 4096,
                                        certificate_id("RSA Signer"))
                        picture = os.path.join(folder, name + ".png")
                        await asyncio.to_thread(answer_dialog, host, holds, "Escape",
                                                title=title, picture=picture)
                        reply = await receive_reply(ws)
                        await ws.close()
                    finally:
                        host.close()
                    self.assertEqual(reply["code"], "20003")
                    self.assertTrue(os.path.getsize(picture) > 0)
        finally:
            shutil.rmtree(root, ignore_errors=True)


def sign_hash(certificate):
    data = {"certificate": certificate, "hashFunction": "SHA-256",
            "hash": base64.b64encode(hashlib.sha256(b"prepared").digest()).decode()}
    return request("signHash", json.dumps(data), module="crypto")


def wait_for_dialog():
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", DIALOG],
                   check=True, capture_output=True, timeout=30)


class PageCannotKeepWindowsComing(unittest.IsolatedAsyncioTestCase):
    """A page's second signature while its window is up is refused at once,
    and after a cancel the whole site gets no window for a while."""

    PAGE = "https://portal.example"
    SUBDOMAIN = "https://fresh.portal.example"

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="zorva-crypto-e2e-")
        private_token(cls.root)
        cls.host = Host(stage_dir(), qt_platform="xcb",
                        answers={cls.PAGE: "allow", cls.SUBDOMAIN: "allow"})

    @classmethod
    def tearDownClass(cls):
        cls.host.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    async def test_pending_origin_and_cancelled_site_are_answered_at_once_without_a_window(self):
        certificate = certificate_id("EC Signer")
        first = await connect(self.host.url, origin=self.PAGE)
        others = {origin: await connect(self.host.url, origin=origin)
                  for origin in (self.PAGE, self.SUBDOMAIN)}
        try:
            holds = prompt_holds(self.host, DIALOG)
            await first.send(json.dumps(sign_hash(certificate)))
            await asyncio.to_thread(wait_for_dialog)
            # origin asking, code it gets at once, text of the reason, the first window's key
            cases = [(self.PAGE, "20001", "an action is already pending", "Escape"),
                     (self.SUBDOMAIN, "20003", "no new one for", None)]
            for origin, code, text, key in cases:
                reply = await ask(others[origin], sign_hash(certificate))
                self.assertEqual(reply["code"], code, origin)
                self.assertIn(text, reply["errorMessage"], origin)
                if key:
                    await asyncio.to_thread(answer_dialog, self.host, holds, key)
                    self.assertEqual((await receive_reply(first))["code"], "20003")
        finally:
            for ws in [first, *others.values()]:
                await ws.close()
        self.host.wait_log('ui: prompt of origin "%s" refused: one is pending' % self.PAGE)
        self.host.wait_log('ui: prompt of origin "%s" refused: held back for' % self.SUBDOMAIN)


class PinLeavesNoCopy(SigningHost):
    # Digits that nothing else in the host's memory is likely to hold.
    PIN = "58203917"

    @classmethod
    def prepare_token(cls):
        change_pin("123456", cls.PIN)

    async def test_after_three_signatures_the_live_host_holds_the_pin_nowhere(self):
        certificate = certificate_id("EC Signer")
        for number in range(3):
            reply, _ = await self.sign(b"document %d" % number * (100 + number), certificate,
                                       "Return", pin=self.PIN,
                                       wrong_pins=["0000"] if number == 1 else ())
            self.assertEqual(reply["code"], "0", reply.get("error"))

        needles = {self.PIN.encode("utf-8"): "UTF-8", self.PIN.encode("utf-16-le"): "UTF-16LE"}
        found = memory_holding(self.host.process.pid, needles)
        self.assertEqual(sorted(needles[needle] for needle in found), [])


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
