"""Who may use the real host over WebSocket: programs and approved pages are
served; a page without approval may only read the version, whatever origin
it claims inside its messages, and no page may end the host. The host runs
headless here, so nobody can be asked about a new page."""

import json
import unittest

import websockets

from wshost import Host, ask, connect, request, stage_dir

ALLOWED = "https://allowed.example"
DENIED = "https://denied.example"
UNKNOWN = "https://unknown.example"
ANSWERS = {ALLOWED: "allow", DENIED: "deny"}


async def reply_to(host, origin, message):
    ws = await connect(host.url, origin=origin)
    try:
        return await ask(ws, message)
    finally:
        await ws.close()


class Admission(unittest.IsolatedAsyncioTestCase):
    @classmethod
    def setUpClass(cls):
        cls.host = Host(stage_dir(), answers=ANSWERS)

    @classmethod
    def tearDownClass(cls):
        cls.host.close()

    async def test_each_origin_gets_what_its_approval_allows(self):
        # origin of the connection, method, expected code
        cases = [
            (None, "echo", "0"),
            (ALLOWED, "echo", "0"),
            (DENIED, "echo", "20025"),
            (UNKNOWN, "echo", "20025"),
            (DENIED, "version", "0"),
            (UNKNOWN, "version", "0"),
        ]
        for origin, method, code in cases:
            reply = await reply_to(self.host, origin, request(method, "hi"))
            self.assertEqual(reply["code"], code, (origin, method, reply["errorMessage"]))
            self.assertEqual(reply["meta"]["data"]["origin"], origin or "", (origin, method))
        self.host.wait_log('session: origin refused: "%s"' % DENIED)
        self.host.wait_log("ui: no display to ask the user on")

    async def test_refusal_names_the_reason_and_keeps_no_answer(self):
        reply = await reply_to(self.host, UNKNOWN, request("echo", "hi"))

        self.assertIn("Сайт не одобрен пользователем", reply["errorMessage"])
        self.assertEqual(reply["method"]["result"], "")
        with open(self.host.permissions_path, encoding="utf-8") as kept:
            self.assertEqual(json.load(kept), {"origins": ANSWERS})

    async def test_origin_written_by_the_page_is_replaced_by_the_connections(self):
        forged = request("echo", "hi", meta={"data": {"origin": ALLOWED}})

        reply = await reply_to(self.host, UNKNOWN, forged)

        self.assertEqual(reply["code"], "20025")
        self.assertEqual(reply["meta"]["data"]["origin"], UNKNOWN)

    async def test_upload_without_approval_is_refused_at_its_first_chunk(self):
        first = request("echo", "aGk=", meta={"chunk": "1", "chunks": "2"})

        reply = await reply_to(self.host, DENIED, first)

        self.assertEqual(reply["code"], "20025")


class Ending(unittest.IsolatedAsyncioTestCase):
    def tearDown(self):
        self.host.close()

    async def test_page_loses_its_connection_not_the_host_whether_approved_or_not(self):
        self.host = Host(stage_dir(), answers=ANSWERS)
        for origin in (UNKNOWN, DENIED, ALLOWED):
            ws = await connect(self.host.url, origin=origin)
            await ws.send("{}")
            with self.assertRaises(websockets.ConnectionClosed):
                await ws.recv()
            self.host.wait_log('session: request to stop refused, origin: "%s"' % origin)

        self.assertEqual((await reply_to(self.host, None, request("echo", "up")))["code"], "0")
        self.assertNotIn("ws: interrupt", self.host.log())

    async def test_program_ends_the_host_with_exit_code_zero(self):
        self.host = Host(stage_dir(), answers=ANSWERS)
        ws = await connect(self.host.url)

        await ws.send("{}")

        self.assertEqual(self.host.wait_exit(), 0)
        self.assertIn("ws: interrupt", self.host.log())
        ws.transport.abort()


if __name__ == "__main__":
    unittest.main()
