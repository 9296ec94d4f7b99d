"""Faults found by running the staged host against hostile and concurrent
input: transfers lost to a second host process, memory that never comes
back, one connection's error in another's reply, base64 chunks decoded
twice, text that is no UTF-8, files other users could read."""

import asyncio
import json
import os
import stat
import subprocess
import unittest
import uuid

import websockets

from wshost import (TIMEOUT, HostTestCase, ask, b64, chunked, connect, receive_reply,
                    request)

MiB = 1024 * 1024


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS for %d" % pid)


def descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


class Reliability(HostTestCase):
    async def send_all(self, ws, messages):
        for message in messages:
            await ws.send(json.dumps(message))
        return await receive_reply(ws)

    async def test_base64_request_in_two_chunks_is_decoded_once_and_the_reply_encoded(self):
        text = "Chunked base64 echo: " + "x" * 37
        encoded = b64(text.encode())
        messages = chunked(uuid.uuid4().hex, "echo",
                           [(encoded[:16], ""), (encoded[16:], "")])
        for message in messages:
            message["meta"]["content"] = {"transferEncoding": "base64"}

        reply = await self.send_all(self.ws, messages)

        self.assertEqual(reply["code"], "0", reply["errorMessage"])
        self.assertEqual(reply["method"]["result"], encoded)

    async def test_a_second_host_process_leaves_the_transfer_of_the_first_whole(self):
        message_id = uuid.uuid4().hex
        first, second = chunked(message_id, "echo", [("half ", ""), ("and half", "")])
        await self.ws.send(json.dumps(first))
        self.host.wait_log('file: "1.2.data"')
        request_file = os.path.join(self.host.root, "request.json")
        with open(request_file, "w") as out:
            json.dump(request("echo", "from a request run", id="run"), out)

        run = subprocess.run([os.path.join(self.host.program_dir, "plugin"), "-r", request_file],
                             cwd=self.host.program_dir, env=self.host.env, timeout=TIMEOUT,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        self.assertEqual(run.returncode, 0)
        reply = await ask(self.ws, second)
        self.assertEqual(reply["code"], "0", reply["errorMessage"])
        self.assertEqual(reply["method"]["result"], "half and half")

    async def test_error_replies_of_connections_failing_at_once_carry_their_own_method(self):
        async def fail_many(connection):
            ws = await connect(self.host.url)
            crossed = []
            for n in range(300):
                method = "missing-%d-%d" % (connection, n)
                reply = await ask(ws, request(method))
                if method not in reply["errorMessage"]:
                    crossed.append(reply["errorMessage"])
            await ws.close()
            return crossed

        crossed = await asyncio.gather(*(fail_many(c) for c in range(4)))

        self.assertEqual([c for c in crossed if c], [])

    async def end_connection(self, ws):
        """Closes ws and waits for the host to end it. With no other
        connection open the host then hands its heaps' free memory back, so
        what RSS keeps after that is memory still in use."""
        ended = self.host.log().count("ws: connection lost")
        await ws.close()
        self.host.wait_log("ws: connection lost", count=ended + 1)

    def usage(self):
        return rss_kib(self.host.process.pid), descriptors(self.host.process.pid)

    async def assert_rss_falls_back(self, before, margin_kib, why):
        """The memory is handed back just after the connection's last log
        line, and a busy machine may keep the host from it for a while."""
        after = self.usage()
        deadline = asyncio.get_running_loop().time() + TIMEOUT
        while after[0] - before[0] >= margin_kib and asyncio.get_running_loop().time() < deadline:
            await asyncio.sleep(0.1)
            after = self.usage()
        self.assertLess(after[0] - before[0], margin_kib,
                        "%s: RSS %s -> %s KiB" % (why, before[0], after[0]))
        return after

    async def test_memory_stays_flat_over_ten_thousand_distinct_failures(self):
        async def fail(count, offset, batch=100):
            ws = await connect(self.host.url)
            for start in range(offset, offset + count, batch):
                for n in range(start, start + batch):
                    await ws.send(json.dumps(request("%06d" % n + "m" * 8192)))
                for n in range(batch):
                    self.assertEqual((await receive_reply(ws))["code"], "20005")
            await self.end_connection(ws)

        await self.end_connection(self.ws)
        await fail(1000, 0)
        before = self.usage()
        await fail(10000, 1000)

        # Each request logs its 8 KiB method name twice: the log's queue may
        # hold up to 8 MiB of record text while its writer catches up. A slot
        # or table that kept every failure would take 80 MiB or more.
        await self.assert_rss_falls_back(before, 24 * 1024, "10,000 failures")

    async def test_abandoned_transfers_give_their_memory_back_when_the_connection_ends(self):
        async def abandon(files):
            ws = await connect(self.host.url)
            for n in range(files):
                file_id = uuid.uuid4().hex
                pieces = [('{"files":[', ""), ('{"content":"', file_id),
                          ("A" * MiB, file_id), ("A" * MiB, file_id)]
                for message in chunked("abandoned-%d" % n, "digest", pieces + [("]}", "")])[:4]:
                    await ws.send(json.dumps(message))
            await ask(ws, request("echo", "all stored"))
            await self.end_connection(ws)

        await self.end_connection(self.ws)
        for _ in range(4):
            await abandon(12)
        before = self.usage()
        for _ in range(8):
            await abandon(12)

        # Transfers that kept their memory would add about 97 MB here.
        after = await self.assert_rss_falls_back(before, 24 * 1024, "96 abandoned transfers")
        self.assertLessEqual(after[1], before[1] + 2)

    async def test_more_open_transfers_than_a_connection_may_hold_are_refused_with_20026(self):
        for n in range(16):
            await self.ws.send(json.dumps(chunked("open-%d" % n, "echo", [("a", ""), ("b", "")])[0]))

        reply = await ask(self.ws, chunked("open-16", "echo", [("a", ""), ("b", "")])[0])

        self.assertEqual(reply["code"], "20026", reply["errorMessage"])
        self.assertIn("open transfers", reply["errorMessage"])

    async def test_binary_frame_of_json_that_is_no_utf8_ends_the_connection(self):
        await self.ws.send(b'{"id":"\xff\xfe","module":{"type":"system","version":""},'
                           b'"method":{"type":"echo","data":""}}')

        with self.assertRaises(websockets.ConnectionClosed) as closed:
            await asyncio.wait_for(self.ws.recv(), TIMEOUT)

        # The host ended it; a reply that is no UTF-8 would make the client end
        # it with 1007.
        self.assertFalse(closed.exception.sent and closed.exception.sent.code == 1007,
                         closed.exception)

    async def test_logs_data_and_chunks_are_the_users_alone(self):
        await self.ws.send(json.dumps(chunked("private", "echo", [("a", ""), ("b", "")])[0]))
        self.host.wait_log('file: "1.2.data"')

        data = os.path.join(self.host.program_dir, "data")
        paths = [os.path.join(self.host.program_dir, name) for name in ("logs", "config.json.user")]
        for directory, subdirectories, files in os.walk(data):
            paths.append(directory)
            paths += [os.path.join(directory, name) for name in files]
        logs = os.path.join(self.host.program_dir, "logs")
        paths += [os.path.join(logs, name) for name in os.listdir(logs)]

        for path in paths:
            self.assertEqual(stat.S_IMODE(os.lstat(path).st_mode) & 0o077, 0, path)


class IdentityThatIsNoUtf8(unittest.IsolatedAsyncioTestCase):
    """A user name in another encoding must not reach the replies raw."""

    @classmethod
    def setUpClass(cls):
        from wshost import Host, stage_dir
        os.environb[b"USERNAME"] = b"\xc8\xe2\xe0\xed"
        try:
            cls.host = Host(stage_dir())
        finally:
            del os.environb[b"USERNAME"]

    @classmethod
    def tearDownClass(cls):
        cls.host.close()

    async def test_reply_is_utf8_and_the_user_agent_drops_what_is_not(self):
        ws = await connect(self.host.url)

        reply = await ask(ws, request("echo", "x"))

        await ws.close()
        self.assertEqual(reply["code"], "0")
        self.assertNotIn("\ufffd", reply["texts"][0])


if __name__ == "__main__":
    unittest.main()
