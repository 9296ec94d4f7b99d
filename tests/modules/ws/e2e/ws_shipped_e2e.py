"""The host started as a person starts it: `plugin -P ws` with the shipped
configuration serves pages on ws://127.0.0.1:9000."""

import os
import unittest

from wshost import Host, ask, connect, request, stage_dir

LISTEN = "0A"


def listening_inodes(port):
    """Socket inodes that listen on the port, on any local address."""
    inodes = set()
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as rows:
                next(rows)
                for row in rows:
                    fields = row.split()
                    if fields[3] == LISTEN and int(fields[1].rsplit(":", 1)[1], 16) == port:
                        inodes.add(fields[9])
        except OSError:
            continue
    return inodes


def port_holders(port):
    """The program files of the processes this user may see that listen on
    the port; None stands for a holder that cannot be seen."""
    inodes = listening_inodes(port)
    if not inodes:
        return []
    holders = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            descriptors = os.listdir("/proc/%s/fd" % pid)
            links = {os.readlink("/proc/%s/fd/%s" % (pid, fd)) for fd in descriptors}
            if any("socket:[%s]" % inode in links for inode in inodes):
                holders.append(os.readlink("/proc/%s/exe" % pid))
        except OSError:
            continue
    return holders or [None]


class ShippedConfiguration(unittest.IsolatedAsyncioTestCase):
    async def test_default_configuration_serves_pages_on_port_9000(self):
        holders = port_holders(Host.SHIPPED_PORT)
        if holders and all(h and os.path.basename(h) == "plugin" for h in holders):
            self.skipTest("our own host (%s) serves port 9000 already, started from another "
                          "terminal perhaps: stop it to run this test" % holders[0])
        if holders:
            self.fail("port 9000 is taken by another program (%s): stop it to run this test"
                      % (holders[0] or "of another user"))
        host = Host(stage_dir(), shipped_config=True)
        self.addCleanup(host.close)

        ws = await connect("ws://127.0.0.1:9000")
        reply = await ask(ws, request("version"))
        await ws.close()

        self.assertEqual(reply["code"], "0", reply["errorMessage"])
        host.wait_log("ws: address: 127.0.0.1, port: 9000")


if __name__ == "__main__":
    unittest.main()
