"""The origin allowlist of the real host: pages on the list are served, other
pages are refused with 403 and logged, programs without an Origin header are
served, and without a list the host says at start that any page may connect."""

import unittest

import websockets

from wshost import Host, ask, connect, request, stage_dir

ALLOWLIST = {"format": {"type": "ws", "category": "protocol.origins"},
             "data": "https://sign.example.org, http://localhost:*"}


async def echo_from(host, origin=None):
    ws = await connect(host.url, origin=origin)
    try:
        return (await ask(ws, request("echo", "hello")))["method"]["result"]
    finally:
        await ws.close()


class WithAllowlist(unittest.IsolatedAsyncioTestCase):
    @classmethod
    def setUpClass(cls):
        # Listed in front of the address entry: the address must not change.
        cls.host = Host(stage_dir(), ws_meta=[ALLOWLIST])

    @classmethod
    def tearDownClass(cls):
        cls.host.close()

    async def test_listed_origins_are_served(self):
        self.assertEqual(await echo_from(self.host, "https://sign.example.org"), "hello")
        self.assertEqual(await echo_from(self.host, "http://localhost:5173"), "hello")
        self.host.wait_log("ws: allowed origins: https://sign.example.org http://localhost:*")

    async def test_other_origin_is_refused_with_403_and_logged(self):
        with self.assertRaises(websockets.InvalidStatusCode) as refused:
            await connect(self.host.url, origin="https://evil.example")
        self.assertEqual(refused.exception.status_code, 403)
        self.host.wait_log('ws: origin refused: "https://evil.example"')

    async def test_request_without_origin_is_served(self):
        self.assertEqual(await echo_from(self.host), "hello")


class WithoutAllowlist(unittest.IsolatedAsyncioTestCase):
    async def test_any_origin_connects_and_the_start_says_so(self):
        host = Host(stage_dir())
        try:
            ws = await connect(host.url, origin="https://evil.example")
            try:
                reply = await ask(ws, request("version"))
            finally:
                await ws.close()
            self.assertEqual(reply["code"], "0")
            host.wait_log("ws: no origin allowlist, any page may connect")
            self.assertEqual(host.log().count("ws: no origin allowlist, any page may connect"), 1)
        finally:
            host.close()


if __name__ == "__main__":
    unittest.main()
