"""The real host asks the user about a page it does not know, on a virtual X
display, and xdotool answers as the user would: Allow serves the page and is
kept in a file only the user can read, Deny refuses it and is kept too, and a
page is asked about once however many connections it opens meanwhile. Escape
only dismisses the question, and holds the site back for a while; a denial
holds for the whole site. Runs under xvfb-run."""

import asyncio
import json
import os
import stat
import subprocess
import unittest

from wshost import TIMEOUT, Host, ask, connect, prompt_holds, request, stage_dir, wait_listening

PRODUCT = "ZorvaPlugin"


def answer_prompt(host, holds_before, keys):
    """Waits for the prompt window, and until it takes keys, and types the keys
    into it."""
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^%s$" % PRODUCT,
                    "windowfocus", "--sync"], check=True, timeout=TIMEOUT)
    wait_listening(host, PRODUCT, holds_before)
    subprocess.run(["xdotool", "key", keys], check=True, timeout=TIMEOUT)


class Prompt(unittest.IsolatedAsyncioTestCase):
    @classmethod
    def setUpClass(cls):
        if not os.environ.get("DISPLAY"):
            raise unittest.SkipTest("needs an X display: run under xvfb-run")
        cls.host = Host(stage_dir(), qt_platform="xcb")

    @classmethod
    def tearDownClass(cls):
        cls.host.close()

    async def echo_while_answering(self, origin, keys, connections=1):
        holds = prompt_holds(self.host, PRODUCT)
        sockets = [await connect(self.host.url, origin=origin) for _ in range(connections)]
        try:
            replies = [asyncio.ensure_future(ask(ws, request("echo", "hi"))) for ws in sockets]
            await asyncio.to_thread(answer_prompt, self.host, holds, keys)
            return [await reply for reply in replies]
        finally:
            for ws in sockets:
                await ws.close()

    def kept_answers(self):
        mode = stat.S_IMODE(os.stat(self.host.permissions_path).st_mode)
        self.assertEqual(mode, 0o600)
        with open(self.host.permissions_path, encoding="utf-8") as kept:
            return json.load(kept)["origins"]

    async def test_allowed_page_is_served_once_asked_and_kept(self):
        origin = "https://allow.example"

        replies = await self.echo_while_answering(origin, "alt+a", connections=2)

        self.assertEqual([reply["code"] for reply in replies], ["0", "0"])
        self.assertEqual(self.kept_answers()[origin], "allow")
        asked = 'asking the user about origin "%s"' % origin
        self.host.wait_log(asked)
        self.assertEqual(self.host.log().count(asked), 1)
        ws = await connect(self.host.url, origin=origin)
        try:
            self.assertEqual((await ask(ws, request("echo", "again")))["code"], "0")
        finally:
            await ws.close()

    async def test_escape_dismisses_and_holds_the_site_back_and_deny_blocks_the_site(self):
        # origin asked, key, answer kept, another origin of the site, why it is refused at once
        cases = [
            ("https://dismiss.example", "Escape", None, "https://www.dismiss.example",
             'ui: prompt of origin "https://www.dismiss.example" refused: held back for'),
            ("https://block.example", "alt+d", "deny", "https://fresh.block.example",
             'session: origin "https://fresh.block.example" refused: '
             'its site\'s "https://block.example" was denied'),
        ]
        for origin, keys, kept, sibling, refusal in cases:
            (reply,) = await self.echo_while_answering(origin, keys)
            self.assertEqual(reply["code"], "20025", origin)
            with open(self.host.permissions_path, encoding="utf-8") as answers:
                self.assertEqual(json.load(answers)["origins"].get(origin), kept, origin)

            # Nobody answers now: a window would keep the reply for 120 s.
            ws = await connect(self.host.url, origin=sibling)
            try:
                self.assertEqual((await ask(ws, request("echo", "hi")))["code"], "20025")
            finally:
                await ws.close()
            self.host.wait_log(refusal)
        self.host.wait_log('session: origin "https://dismiss.example" not answered')

    async def test_denied_page_is_refused_and_kept(self):
        origin = "https://deny.example"

        (reply,) = await self.echo_while_answering(origin, "alt+d")

        self.assertEqual(reply["code"], "20025")
        self.assertEqual(self.kept_answers()[origin], "deny")
        self.host.wait_log('session: origin "%s" denied' % origin)


if __name__ == "__main__":
    unittest.main()
