"""netsorter-host.exe as Chrome, Edge and Firefox run it: framed messages on its standard
input, the address handed to a registered Netsorter.exe through "Netsorter.qvClicker"."""
import json
import os
import struct

from harness import (BIN, GuiTestCase, reg, run_captured, stop_any_program, wait_until, wine,
                     window_exists, WINE_RUN)
from test_automation import CLASSES, PROGID, program_boxes

EXE = os.path.join(BIN, "Netsorter.exe")
HOST = os.path.join(BIN, "netsorter-host.exe")
ORIGIN = "chrome-extension://cgjhiobogbbclanjnanjhagkmlgliopj/"


def frame(data):
    return struct.pack("=I", len(data)) + data


def request(address):
    return frame(json.dumps({"address": address}).encode())


def run_host(stdin):
    """The host's answers, unframed and read as JSON, and its exit status."""
    result = run_captured([WINE_RUN, HOST, ORIGIN, "--parent-window=0"], input=stdin)
    out, answers = result.stdout, []
    while out:
        (length,) = struct.unpack("=I", out[:4])
        answers.append(json.loads(out[4:4 + length].decode("utf-8")))
        out = out[4 + length:]
    return answers, result.returncode


class BrowserHostTest(GuiTestCase):
    def setUp(self):
        super().setUp()
        stop_any_program()
        wine(EXE, "/regserver")

    def tearDown(self):
        super().tearDown()
        stop_any_program()
        wine(EXE, "/unregserver")
        reg("delete", rf"{CLASSES}\{PROGID}", "/f", check=False)

    def test_the_address_reaches_the_program_and_bad_frames_get_errors(self):
        answers, status = run_host(request("http://multi.test/x"))
        self.assertEqual((answers, status), ([{"ok": True}], 0))
        wait_until(lambda: program_boxes()["ip"] == "10.9.8.7", "the check in the boxes")
        self.assertEqual(program_boxes()["domain"], "multi.test")

        # Each bad frame ends the host with one error answer; what follows it is not read.
        after = request("http://one.test/after")
        rows = [
            ("empty", frame(b""), "bad-request"),
            ("over 1 MB", struct.pack("=I", 1024 * 1024 + 1) + b"{" * 4096, "too-long"),
            ("malformed JSON", frame(b'{"address": "http://one.test/"'), "bad-request"),
            ("non-string address", frame(b'{"address": ["http://one.test/"]}'), "bad-request"),
            ("invalid UTF-8", frame(b'{"address": "http://one.test/\xff"}'), "bad-request"),
            ("cut off", struct.pack("=I", 100) + b'{"address": "http://one.test/"}', "bad-request"),
        ]
        for name, data, code in rows:
            with self.subTest(name):
                answers, status = run_host(data + after)
                self.assertEqual((answers, status), ([{"error": code}], 1))
        self.assertTrue(window_exists(), "the program still runs")
        self.assertEqual(program_boxes()["ip"], "10.9.8.7", "no bad frame was checked")

        # Two requests in one session, as a port of the browser sends them.
        answers, status = run_host(request("http://one.test/a") + request("http://multi.test/b"))
        self.assertEqual((answers, status), ([{"ok": True}, {"ok": True}], 0))
        wait_until(lambda: program_boxes()["address"] == "http://multi.test/b", "the last check")

    def test_without_the_automation_class_the_browser_is_told(self):
        wine(EXE, "/unregserver")
        answers, status = run_host(request("http://multi.test/x"))
        self.assertEqual(status, 0)
        self.assertEqual(len(answers), 1)
        self.assertEqual(answers[0].get("error"), "not-registered", answers)
        self.assertTrue(answers[0].get("reason"), "the system's reason")
        self.assertFalse(window_exists(), "no program was started")


if __name__ == "__main__":
    import unittest
    unittest.main()
