"""Who holds the real host's connections: a client run by another user of the
machine is refused before the handshake (403) and reaches nothing, one page's
origin holds at most 16 connections (503 beyond), and a page the user never
approved is closed after 10 s without a request. The tests run as root; the
other user is uid 65534, through setpriv."""

import asyncio
import base64
import json
import os
import subprocess
import sys
import time
import unittest

import websockets

from wshost import TIMEOUT, Host, ask, connect, request, stage_dir

OTHER_UID = 65534
PAGE = "https://page.example"
STRANGER = "https://stranger.example"
PER_ORIGIN = 16

# Sends an upgrade request and, as if it had been accepted, one masked text
# frame, or nothing at all for "-"; prints the status line of the answer once
# the host closed the connection.
FOREIGN_CLIENT = r"""
import os, socket, sys
port, origin, text = int(sys.argv[1]), sys.argv[2], sys.argv[3].encode()
head = ("GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\n"
        "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
        "Sec-WebSocket-Version: 13\r\n" % port)
if origin:
    head += "Origin: %s\r\n" % origin
mask = os.urandom(4)
frame = bytes([0x81, 0x80 | 126]) + len(text).to_bytes(2, "big") + mask + bytes(
    b ^ mask[i % 4] for i, b in enumerate(text))
with socket.create_connection(("127.0.0.1", port), timeout=30) as peer:
    if text != b"-":
        peer.sendall((head + "\r\n").encode() + frame)
    answer = b""
    while True:
        try:
            got = peer.recv(65536)
        except ConnectionResetError:
            break
        if not got:
            break
        answer += got
print(answer.split(b"\r\n", 1)[0].decode())
"""


def run_as_other_user(port, origin, text, timeout=TIMEOUT):
    done = subprocess.run(
        ["setpriv", "--reuid=%d" % OTHER_UID, "--regid=%d" % OTHER_UID, "--clear-groups",
         "/usr/bin/python3", "-c", FOREIGN_CLIENT, str(port), origin or "", text],
        cwd="/", capture_output=True, text=True, timeout=timeout, check=True)
    return done.stdout.strip()


def chunk_request():
    data = base64.b64encode(b"x" * 1024).decode()
    return json.dumps(request("echo", data, meta={"chunk": "1", "chunks": "2", "id": "f"}))


async def echo(host, origin=None):
    ws = await connect(host.url, origin=origin)
    try:
        return (await ask(ws, request("echo", "hi")))["code"]
    finally:
        await ws.close()


class OtherUser(unittest.IsolatedAsyncioTestCase):
    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0:
            raise unittest.SkipTest("needs root to run a client as another user")
        cls.host = Host(stage_dir(), answers={PAGE: "allow"})

    @classmethod
    def tearDownClass(cls):
        cls.host.close()

    async def test_client_of_another_user_gets_403_and_reaches_nothing(self):
        # origin the client claims, what it sends once it believes it is connected
        cases = [
            (None, "{}"),
            (PAGE, "{}"),
            (None, json.dumps(request("echo", "hi"))),
            (None, json.dumps(request("status", module="crypto"))),
            (PAGE, chunk_request()),
        ]
        await echo(self.host)
        for origin, text in cases:
            status = await asyncio.to_thread(run_as_other_user, self.host.port, origin, text)
            self.assertEqual(status, "HTTP/1.1 403 Forbidden", (origin, text[:40]))

        refused = 'ws: peer refused: "uid %d"' % OTHER_UID
        self.host.wait_log(refused, count=len(cases))
        # One that sends nothing holds its connection for a moment only, not
        # for the 29 s a handshake may take.
        self.assertEqual(await asyncio.to_thread(run_as_other_user, self.host.port, None, "-",
                                                 timeout=10), "")
        self.assertIsNone(self.host.process.poll())
        self.assertEqual(self.host.log().count("session: handle message"), 1)
        self.assertEqual(await echo(self.host), "0")
        self.assertEqual(await echo(self.host, PAGE), "0")
        self.assertNotIn("ws: interrupt", self.host.log())


class Connections(unittest.IsolatedAsyncioTestCase):
    def setUp(self):
        self.host = Host(stage_dir(), answers={PAGE: "allow"})

    def tearDown(self):
        self.host.close()

    async def test_one_origin_holds_16_connections_and_the_next_gets_503(self):
        held = [await connect(self.host.url, origin=PAGE) for _ in range(PER_ORIGIN)]
        try:
            with self.assertRaises(websockets.InvalidStatusCode) as refused:
                await connect(self.host.url, origin=PAGE)
            self.assertEqual(refused.exception.status_code, 503)
            self.host.wait_log('ws: connection refused, %d connections of origin "%s" are served'
                               % (PER_ORIGIN, PAGE))
            self.assertEqual(await echo(self.host), "0")
            self.assertEqual(await echo(self.host, STRANGER), "20025")

            ended = self.host.log().count("ws: connection lost")
            await held.pop().close()
            self.host.wait_log("ws: connection lost", count=ended + 1)
            self.assertEqual(await echo(self.host, PAGE), "0")
        finally:
            for ws in held:
                await ws.close()

    async def test_page_without_approval_is_closed_after_10_s_without_a_request(self):
        silent = await connect(self.host.url, origin=STRANGER)
        approved = await connect(self.host.url, origin=PAGE)
        program = await connect(self.host.url)
        started = time.monotonic()

        await asyncio.wait_for(silent.wait_closed(), TIMEOUT)

        self.assertGreaterEqual(time.monotonic() - started, 9)
        self.assertEqual((silent.close_code, silent.close_reason), (1001, "idle"))
        for ws in (approved, program):
            self.assertEqual((await ask(ws, request("echo", "still here")))["code"], "0")
            await ws.close()


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
