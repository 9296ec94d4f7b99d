"""The host started as a person starts it: `plugin -P ws` with the shipped
configuration serves pages on ws://127.0.0.1:9000."""

import socket
import unittest

from wshost import Host, ask, connect, request, stage_dir


class ShippedConfiguration(unittest.IsolatedAsyncioTestCase):
    async def test_default_configuration_serves_pages_on_port_9000(self):
        with socket.socket() as probe:
            if probe.connect_ex(("127.0.0.1", Host.SHIPPED_PORT)) == 0:
                self.fail("port 9000 is taken by another program: stop it to run this test")
        host = Host(stage_dir(), shipped_config=True)
        self.addCleanup(host.close)

        ws = await connect("ws://127.0.0.1:9000")
        reply = await ask(ws, request("version"))
        await ws.close()

        self.assertEqual(reply["code"], "0", reply["errorMessage"])
        self.assertIn("ws: address: 127.0.0.1, port: 9000", host.log())


if __name__ == "__main__":
    unittest.main()
