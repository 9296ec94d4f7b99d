"""Connections to the real host: four are served at once and a fifth waits
for a free thread; a text that is no message ends only its own connection;
peers that connect and stay silent are dropped once the handshake time ends."""

import asyncio
import socket
import time
import unittest

import websockets

from wshost import Host, ask, connect, request, stage_dir

# How long the fifth connection must stay without a handshake to count as waiting.
WAITING = 1.0
# The host's handshake time limit, in seconds.
HANDSHAKE = 29
# How long a dropped silent peer may take to see its end of stream.
TIMEOUT_SILENT_CLOSED = 10


class Connections(unittest.IsolatedAsyncioTestCase):
    async def asyncSetUp(self):
        self.host = Host(stage_dir())
        self.clients = []

    async def asyncTearDown(self):
        for client in self.clients:
            await client.close()
        self.host.close()

    async def open(self):
        client = await connect(self.host.url)
        self.clients.append(client)
        return client

    async def test_four_connections_are_served_at_once_and_a_fifth_waits_for_a_free_one(self):
        four = [await self.open() for _ in range(4)]
        replies = await asyncio.gather(*(ask(c, request("echo", str(i)))
                                         for i, c in enumerate(four)))
        self.assertEqual([r["method"]["result"] for r in replies], ["0", "1", "2", "3"])

        fifth = asyncio.ensure_future(connect(self.host.url))
        done, _ = await asyncio.wait({fifth}, timeout=WAITING)
        self.assertFalse(done, "the fifth connection was served while four were open")

        await four[0].close()
        self.clients.append(await asyncio.wait_for(fifth, 30))
        reply = await ask(self.clients[-1], request("echo", "fifth"))
        self.assertEqual(reply["method"]["result"], "fifth")

    async def test_text_that_is_no_message_ends_only_its_own_connection(self):
        bystander = await self.open()
        sender = await self.open()

        await sender.send("this is not json")

        with self.assertRaises(websockets.ConnectionClosed):
            await asyncio.wait_for(sender.recv(), 30)
        self.host.wait_log("ws: connection lost, what: JSON parse error")
        reply = await ask(bystander, request("echo", "still here"))
        self.assertEqual(reply["method"]["result"], "still here")

    async def test_four_silent_peers_hold_the_threads_only_until_the_handshake_time_ends(self):
        first = await self.open()  # the host listens
        await first.close()
        silent = [socket.create_connection(("127.0.0.1", self.host.port)) for _ in range(4)]
        try:
            start = time.monotonic()
            client = await asyncio.wait_for(connect(self.host.url, timeout=HANDSHAKE + 30),
                                            HANDSHAKE + 30)
            self.clients.append(client)
            self.assertGreater(time.monotonic() - start, HANDSHAKE - 4)
            reply = await ask(client, request("echo", "after the silent ones"))
            self.assertEqual(reply["method"]["result"], "after the silent ones")
            for peer in silent:
                peer.settimeout(TIMEOUT_SILENT_CLOSED)
                self.assertEqual(peer.recv(1), b"", "the host kept a silent peer")
            self.host.wait_log("ws: connection lost, what: The socket was closed due to a timeout")
        finally:
            for peer in silent:
                peer.close()


if __name__ == "__main__":
    unittest.main()
