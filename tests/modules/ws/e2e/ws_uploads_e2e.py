"""Chunked requests through the real host: a payload in three plain chunks and
an embedded file whose content travels in base64 pieces with a running MD5.
"digest" proves the host holds exactly the bytes that were sent."""

import json
import os
import unittest
import uuid

from wshost import (HostTestCase, b64, chunked, digest_of, embedded_file_pieces,
                    receive_reply)


class Uploads(HostTestCase):
    async def send_all(self, messages):
        for message in messages:
            await self.ws.send(json.dumps(message))
        return await receive_reply(self.ws)

    async def test_payload_in_three_chunks_is_joined_before_the_module_sees_it(self):
        content = os.urandom(100_000)
        payload = json.dumps({"files": [{"name": "a.bin", "content": b64(content),
                                         "contentEncoding": "base64"}]})
        third = len(payload) // 3
        parts = [payload[:third], payload[third:2 * third], payload[2 * third:]]

        reply = await self.send_all(chunked(uuid.uuid4().hex, "digest",
                                            [(part, "") for part in parts]))

        self.assertEqual(reply["code"], "0", reply["errorMessage"])
        self.assertEqual(json.loads(reply["method"]["result"]),
                         [dict(name="a.bin", **digest_of(content))])

    async def test_embedded_file_is_verified_and_digested_from_the_original_bytes(self):
        content = os.urandom(3 * 1024 * 1024 + 5)
        file_id, pieces = embedded_file_pieces("b.bin", content)

        reply = await self.send_all(chunked(uuid.uuid4().hex, "digest", pieces))

        self.assertEqual(reply["code"], "0", reply["errorMessage"])
        self.assertEqual(json.loads(reply["method"]["result"]),
                         [dict(name="b.bin", **digest_of(content))])
        self.host.wait_log("chunk store: checksums for uuid: %s equal" % file_id)


if __name__ == "__main__":
    unittest.main()
