"""Requests and replies through the real host: protocol record, debug log
lines, the raw request text, error replies and a reply sent in pieces."""

import json
import unittest

from wshost import HostTestCase, ask, request

WS_PROTOCOL = {"type": "ws", "version": "1.3.19.0", "category": "plugin",
               "description": "provides communication plugin-plugin.extension via websockets"}


class Messages(HostTestCase):
    async def test_echo_reply_carries_the_ws_protocol_record_and_the_request_id(self):
        sent = request("echo", "hello", node="n1")
        reply = await ask(self.ws, sent)
        self.assertEqual((reply["id"], reply["code"], reply["error"]), (sent["id"], "0", ""))
        self.assertEqual(reply["method"]["result"], "hello")
        self.assertEqual(reply["node"], "n1")
        self.assertEqual(reply["meta"]["protocol"], WS_PROTOCOL)

    async def test_debug_mode_logs_the_received_and_the_sent_text(self):
        text = json.dumps(request("echo", "debug me", mode="debug"))
        await self.ws.send(text)
        reply_text = await self.ws.recv()
        self.host.wait_log("ws: receive: " + text)
        self.host.wait_log("ws: send: " + reply_text)

    async def test_message_content_entry_is_replaced_by_the_raw_request_text(self):
        text = json.dumps(request("echo", "signed", meta={"data": {"messageContent": "x"}}),
                          indent=1)
        await self.ws.send(text)
        reply = json.loads(await self.ws.recv())
        # A program's request carries the empty origin.
        self.assertEqual(reply["meta"]["data"], {"messageContent": text, "origin": ""})

    async def test_unknown_method_gets_error_20005_naming_module_and_method(self):
        reply = await ask(self.ws, request("noSuchMethod"))
        self.assertEqual(reply["code"], "20005")
        self.assertIn("Не найден метод", reply["errorMessage"])
        self.host.wait_log('unsupported method "noSuchMethod", module "system"')

    async def test_unknown_transfer_encoding_gets_error_20010(self):
        reply = await ask(self.ws, request("echo", "aGk=",
                                           meta={"content": {"transferEncoding": "BASE64"}}))
        self.assertEqual(reply["code"], "20010")
        self.assertIn("Неподдерживаемый механизм конвертации", reply["errorMessage"])

    async def test_reply_over_a_megabyte_arrives_in_numbered_pieces(self):
        data = "0123456789" * 300_000
        reply = await ask(self.ws, request("echo", data))
        pieces = reply["pieces"]
        self.assertEqual([p["meta"]["chunk"] for p in pieces], ["1", "2", "3"])
        self.assertEqual({p["meta"]["chunks"] for p in pieces}, {"3"})
        self.assertTrue(all(len(text.encode()) < 1_100_000 for text in reply["texts"]))
        self.assertEqual(reply["method"]["result"], data)


if __name__ == "__main__":
    unittest.main()
