"""Start and end of the real host: "{}" ends it with exit code 0 and leaves no
process behind, with a display or without one; a busy port ends the host with
the bind error and exit code 1."""

import socket
import unittest

from wshost import Host, ask, connect, request, stage_dir


class Lifecycle(unittest.IsolatedAsyncioTestCase):
    def tearDown(self):
        self.host.close()

    async def test_two_byte_message_ends_the_host_with_exit_code_zero_and_no_stray_process(self):
        self.host = Host(stage_dir())
        ws = await connect(self.host.url)
        other = await connect(self.host.url)  # blocked in a read: must not keep the host alive
        self.assertEqual((await ask(ws, request("echo", "up")))["method"]["result"], "up")

        await ws.send("{}")

        self.assertEqual(self.host.wait_exit(), 0)
        self.assertEqual(self.host.session_processes(), [])
        self.assertIn("ws: interrupt", self.host.log())
        for dead in (ws, other):
            dead.transport.abort()

    async def test_host_without_a_display_serves_and_ends_with_exit_code_zero(self):
        self.host = Host(stage_dir(), qt_platform=None)
        ws = await connect(self.host.url)
        self.assertEqual((await ask(ws, request("echo", "up")))["method"]["result"], "up")

        await ws.send("{}")

        self.assertEqual(self.host.wait_exit(), 0)
        self.assertIn("core: no display, running without tray icon and windows", self.host.log())
        ws.transport.abort()

    async def test_busy_port_ends_the_host_with_an_error_record_and_exit_code_one(self):
        with socket.socket() as busy:
            busy.bind(("127.0.0.1", 0))
            busy.listen()
            port = busy.getsockname()[1]
            self.host = Host(stage_dir(), port=port)

            self.assertEqual(self.host.wait_exit(), 1)
        log = self.host.log()
        self.assertIn("<error>: ws: cannot listen on 127.0.0.1:%d, what: bind: Address already in use"
                      % port, log)
        self.assertIn("<error>: core: the protocol cannot serve, exit code 1: "
                      "bind: Address already in use", log)
        self.assertIn("core: finish", log)


if __name__ == "__main__":
    unittest.main()
