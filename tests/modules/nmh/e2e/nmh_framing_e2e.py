"""The native-messaging framing of the real host, started as a browser starts
it: replies, error replies, replies in pieces under the browsers' 1 MiB limit,
and every way the input can end, none of which may crash the host."""

import json
import os
import struct
import unittest

from nmhhost import MIB, NmhHost, frame, request, stage_dir


class HostCase(unittest.TestCase):
    def host(self, **options):
        host = NmhHost(stage_dir(), **options)
        self.addCleanup(host.close)
        return host

    def assertEndsNormally(self, host):
        self.assertEqual(host.wait_exit(), 0, host.log()[-4000:])
        self.assertIn("core: finish", host.log())
        self.assertEqual(host.reader.stray, b"", "bytes beside the frames on standard output")


class Replies(HostCase):
    def setUp(self):
        self.nmh = self.host()

    def test_echo_reply_is_one_frame_that_names_the_nmh_protocol(self):
        sent = request("echo", "hello")
        reply = self.nmh.ask(sent)
        self.assertEqual((reply["id"], reply["code"], reply["error"]), (sent["id"], "0", ""))
        self.assertEqual(reply["method"]["result"], "hello")
        self.assertEqual(reply["meta"]["protocol"]["type"], "nmh")
        self.nmh.wait_log("core: " + os.path.join(self.nmh.program_dir, "plugin") + " chrome-extension://")

    def test_unknown_method_gets_error_reply_and_the_host_serves_on(self):
        reply = self.nmh.ask(request("noSuchMethod"))
        self.assertEqual(reply["code"], "20005")
        self.nmh.wait_log('unsupported method "noSuchMethod", module "system"')
        self.assertEqual(self.nmh.ask(request("echo", "after"))["method"]["result"], "after")

    def test_frame_that_is_no_message_is_logged_and_answered_when_it_has_an_id(self):
        reply = self.nmh.ask({"id": "bad-1", "module": {"type": "system"}, "method": 7})
        self.assertEqual(reply["id"], "bad-1")
        self.assertNotEqual(reply["error"], "")
        self.nmh.send(frame(b"not json at all"))
        self.assertEqual(self.nmh.ask(request("echo", "still here"))["method"]["result"],
                         "still here")
        self.nmh.wait_log("nmh: frame is no message: ", count=2)

    def test_reply_over_a_mebibyte_arrives_in_pieces_each_under_a_mebibyte(self):
        data = "0123456789" * 300_000
        reply = self.nmh.ask(request("echo", data))
        pieces = [json.loads(text) for text in reply["frames"]]
        self.assertEqual([p["meta"]["chunk"] for p in pieces], ["1", "2", "3"])
        self.assertEqual({p["meta"]["chunks"] for p in pieces}, {"3"})
        self.assertTrue(all(len(text) < MIB for text in reply["frames"]),
                        [len(text) for text in reply["frames"]])
        self.assertEqual(reply["method"]["result"], data)
        self.nmh.close_input()
        self.assertEndsNormally(self.nmh)


class Endings(HostCase):
    # What the host reads, whether the input then closes, and the log line.
    CASES = [
        ("two-byte frame", frame(b"{}"), False, "nmh: interrupt"),
        ("end of input", b"", True, "nmh: end of input"),
        ("frame cut short", struct.pack("=I", 100) + b"0123456789", True,
         "nmh: input ends inside a frame, after 10 of 100 bytes"),
        ("length cut short", b"\x05\x00", True,
         "nmh: input ends inside a frame length, after 2 of 4 bytes"),
        ("4 GiB length prefix", struct.pack("=I", 0xFFFFFFFF) + b"{", False,
         "nmh: frame of 4294967295 bytes exceeds the limit of 67108864 bytes"),
    ]

    def test_each_ending_logs_why_and_exits_with_core_finish_and_zero(self):
        for name, data, close_input, line in self.CASES:
            with self.subTest(name):
                nmh = self.host()
                self.assertEqual(nmh.ask(request("echo", "first"))["method"]["result"], "first")
                nmh.send(data)
                if close_input:
                    nmh.close_input()
                self.assertEndsNormally(nmh)
                self.assertIn(line, nmh.log())

    def test_browser_gone_while_a_reply_is_written_ends_the_host_with_zero(self):
        nmh = self.host(read_output=False)
        nmh.send(request("echo", "nobody reads this"))
        nmh.close_input()
        self.assertEqual(nmh.wait_exit(), 0, nmh.log()[-4000:])
        self.assertIn("nmh: connection lost, what: write: Broken pipe", nmh.log())
        self.assertIn("core: finish", nmh.log())


class Origins(HostCase):
    """The extension adds the page's origin to each frame; the host runs
    headless, so nobody can approve a new page."""

    PAGE = "https://page.example"

    def test_frame_origin_replaces_the_pages_own_and_decides_what_is_served(self):
        forged = {"data": {"origin": "https://forged.example"}}
        # origin added by the extension, method, expected code
        cases = [(None, "echo", "0"), (self.PAGE, "echo", "20025"), (self.PAGE, "version", "0")]
        nmh = self.host()
        for origin, method, code in cases:
            sent = request(method, "hi", meta=forged)
            if origin:
                sent["origin"] = origin
            reply = nmh.ask(sent)
            self.assertEqual(reply["code"], code, (origin, method, reply["errorMessage"]))
            self.assertEqual(reply["meta"]["data"]["origin"], origin or "", (origin, method))

    def test_request_to_stop_from_a_page_without_approval_only_ends_its_connection(self):
        nmh = self.host()
        nmh.send({"origin": self.PAGE})
        self.assertEndsNormally(nmh)
        self.assertIn('session: request to stop refused, origin: "%s"' % self.PAGE, nmh.log())
        self.assertNotIn("nmh: interrupt", nmh.log())


class StandardOutput(HostCase):
    def test_record_written_before_the_log_directory_is_known_goes_to_standard_error(self):
        # A branded program whose data directory cannot be created logs where
        # it keeps its data instead, before logging to files has started.
        nmh = self.host(program="zorvaplugin", data_dir_blocked=True)
        self.assertEqual(nmh.ask(request("echo", "clean"))["method"]["result"], "clean")
        nmh.close_input()
        self.assertEndsNormally(nmh)
        self.assertIn("paths: unable to create or write data dir", nmh.log())
        self.assertTrue(os.path.isdir(os.path.join(nmh.data_home, "ZorvaPluginData", "logs")))


if __name__ == "__main__":
    unittest.main()
