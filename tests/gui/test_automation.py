"""The automation class "Netsorter.qvClicker" with wine's VBScript engine as its client, and
the browser menu's script (resource 101) run against stand-ins for the browser."""
import json
import os
import re
import subprocess
import tempfile
import unittest

from harness import (BIN, GuiTestCase, cscript, driver, reg, reg_key, stop_any_program, wait_until,
                     win_path, window_exists, wine)

CLSID = "{D4C90FFB-DAF6-42F3-8959-E44BB2726296}"
PROGID = "Netsorter.qvClicker"
CLASSES = r"HKLM\Software\Classes"
EXE = os.path.join(BIN, "Netsorter.exe")
HERE = os.path.dirname(os.path.abspath(__file__))


def run_vbs(text):
    """Runs a VBScript given as text; answers its output lines."""
    handle, path = tempfile.mkstemp(suffix=".vbs")
    try:
        with os.fdopen(handle, "w", encoding="ascii") as out:
            out.write(text)
        return cscript(path)
    finally:
        os.remove(path)


def program_state():
    return json.loads(driver("state"))


def program_boxes():
    return json.loads(driver("boxes"))


def default_value(path):
    key = reg_key(path)
    return None if key is None else key["values"].get("", [None, None])[1]


class AutomationTest(GuiTestCase):
    def setUp(self):
        super().setUp()
        stop_any_program()
        wine(EXE, "/unregserver")

    def tearDown(self):
        super().tearDown()
        stop_any_program()
        wine(EXE, "/unregserver")
        reg("delete", rf"{CLASSES}\{PROGID}", "/f", check=False)

    def test_regserver_registers_the_class_and_ends(self):
        # wine() fails the test unless the process ends with status 0; a window would have
        # kept it running.
        wine(EXE, "/regserver")
        for classes in (CLASSES, "HKCR"):
            with self.subTest(classes=classes):
                self.assertEqual(default_value(rf"{classes}\{PROGID}\CLSID"), CLSID)
                self.assertEqual(default_value(rf"{classes}\CLSID\{CLSID}\LocalServer32"),
                                 f'"{win_path(EXE)}"')
                self.assertEqual(default_value(rf"{classes}\CLSID\{CLSID}\ProgID"), PROGID)

    def test_script_starts_the_program_and_checks_in_the_tray(self):
        wine(EXE, "/regserver")
        self.assertFalse(window_exists())
        out = run_vbs(f'CreateObject("{PROGID}").checkLink "http://multi.test/x"\n'
                      'WScript.Echo "called"\n')
        self.assertEqual(out, ["called"])
        state = wait_until(lambda: (lambda s: s if not s["visible"] and s["tray"] else None)(
            program_state()), "the window in the tray")
        boxes = program_boxes()
        self.assertEqual(boxes, {"address": "http://multi.test/x", "domain": "multi.test",
                                 "ip": "10.9.8.7", "traffic": "Частные сети",
                                 "country": "<не удалось определить страну>",
                                 "owner": "<не удалось определить владельца>"})

        # A second call reaches the same process.
        out = run_vbs(f'CreateObject("{PROGID}").checkLink "http://one.test/y"\n'
                      'WScript.Echo "called"\n')
        self.assertEqual(out, ["called"])
        self.assertEqual(program_state()["pid"], state["pid"])
        self.assertEqual(program_boxes()["ip"], "192.0.2.10")

    def test_odd_arguments_leave_the_program_running(self):
        wine(EXE, "/regserver")
        # Each call reports its error number; a call that fails must not end the program.
        out = run_vbs(
            "On Error Resume Next\n"
            f'Set clicker = CreateObject("{PROGID}")\n'
            'WScript.Echo "create " & Err.Number\n'
            "Sub try(label, value)\n"
            "    On Error Resume Next\n"
            "    clicker.checkLink value\n"
            '    WScript.Echo label & " " & Err.Number\n'
            "End Sub\n"
            'try "empty", ""\n'
            'try "number", 12345\n'
            'try "megabyte", String(1048576, "a")\n'
            'try "null", Null\n'
            'try "array", Array("http://one.test/", 2)\n'
            'try "after", "http://one.test/z"\n')
        results = dict(line.split(" ", 1) for line in out)
        self.assertEqual(
            {k: results.get(k) for k in ("create", "empty", "number", "megabyte", "after")},
            {"create": "0", "empty": "0", "number": "0", "megabyte": "0", "after": "0"})
        # Null and an array have no text: the call must fail.
        for label in ("null", "array"):
            self.assertIn(label, results)
            self.assertNotEqual(results[label], "0", label)
        # The last call went through the same object, so the process that served the
        # others still runs; and it checked.
        self.assertEqual(program_boxes()["ip"], "192.0.2.10")

    def test_big_address_is_checked_whole(self):
        wine(EXE, "/regserver")
        out = run_vbs(f'CreateObject("{PROGID}").checkLink String(1048576, "a")\n'
                      'WScript.Echo "called"\n')
        self.assertEqual(out, ["called"])
        boxes = program_boxes()
        self.assertEqual(boxes["address"], "a" * 1048576)
        self.assertEqual(boxes["domain"], "a" * 1048576)
        self.assertEqual(boxes["ip"], "<IP-адрес отсутсвует>")

    def test_unregserver_removes_only_its_own_registration(self):
        # {ProgID's class: whether the ProgID key survives /unregserver}
        for owner, survives in ((CLSID, False), ("{00000000-1111-2222-3333-444444444444}", True)):
            with self.subTest(owner=owner):
                wine(EXE, "/regserver")
                reg("add", rf"{CLASSES}\{PROGID}\CLSID", "/ve", "/d", owner, "/f")
                wine(EXE, "/unregserver")
                self.assertIsNone(reg_key(rf"{CLASSES}\CLSID\{CLSID}"))
                self.assertEqual(default_value(rf"{CLASSES}\{PROGID}\CLSID"),
                                 owner if survives else None)
                reg("delete", rf"{CLASSES}\{PROGID}", "/f", check=False)

    def test_unregistered_class_cannot_be_created(self):
        wine(EXE, "/regserver")
        wine(EXE, "/unregserver")
        self.assertIsNone(reg_key(rf"{CLASSES}\{PROGID}"))
        self.assertIsNone(reg_key(rf"{CLASSES}\CLSID\{CLSID}"))
        out = run_vbs("On Error Resume Next\n"
                      f'Set clicker = CreateObject("{PROGID}")\n'
                      'WScript.Echo "create " & Err.Number\n')
        self.assertEqual(out, ["create 429"])
        self.assertFalse(window_exists(), "no program was started")


# The browser runs the script of resource 101 with its own objects: "external" (whose
# menuArguments carry the menu's event and the page's document), the page's elements and
# "alert". The stand-ins in menu_script/ play those parts; CreateObject is replaced by one
# that records what the script would send to the program, and TypeName by one that also
# knows the stand-ins' kinds (wine's VBScript names every script class "Object").
class MenuScriptTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.resource = extract_resource(EXE)

    def test_resource_is_an_ascii_vbscript_page_in_russian(self):
        listing = subprocess.run(["wrestool", "-l", EXE], capture_output=True, text=True,
                                 check=True).stdout
        self.assertRegex(listing, r"--type=23 --name=101 --language=1049 ")
        data = self.resource
        self.assertTrue(all(b < 0x80 for b in data), "plain ASCII")
        self.assertNotIn(b"\r", data)
        self.assertEqual(len(re.findall(rb"<script\b", data, re.I)), 1)
        self.assertRegex(data, rb'^<script language="VBScript">\n')
        self.assertRegex(data, rb"\n</script>\n?$")

    def test_the_script_sends_the_address_under_the_mouse(self):
        link, image = "http://multi.test/link", "http://one.test/pic.png"
        area, own, body = "http://one.test/area", "http://one.test/own", "http://one.test/"
        # page: the elements from the top of the page down to the one under the mouse.
        cases = [
            ("a link", "MenuExtAnchor", [("HTMLBody", body), ("HTMLAnchorElement", link)], link),
            ("text inside a link", "MenuExtAnchor",
             [("HTMLBody", body), ("HTMLAnchorElement", link), ("HTMLSpanElement", own),
              ("HTMLPhraseElement", own)], link),
            ("a link event outside any link", "MenuExtAnchor",
             [("HTMLBody", body), ("HTMLSpanElement", own)], own),
            ("a linked image", "MenuExtImage",
             [("HTMLBody", body), ("HTMLAnchorElement", link), ("HTMLImg", image)], link),
            ("an image deep inside a link", "MenuExtImage",
             [("HTMLAnchorElement", link), ("HTMLDivElement", own), ("HTMLImg", image)], link),
            ("a plain image", "MenuExtImage", [("HTMLBody", body), ("HTMLImg", image)], image),
            ("an area of a linked image map", "MenuExtImage",
             [("HTMLBody", body), ("HTMLAnchorElement", link), ("HTMLMapElement", own),
              ("HTMLAreaElement", area)], area),
            ("an unknown element inside a link", "MenuExtUnknown",
             [("HTMLBody", body), ("HTMLAnchorElement", link), ("HTMLDivElement", own)], link),
            ("an unknown element", "MenuExtUnknown", [("HTMLBody", body), ("HTMLDivElement", own)],
             own),
            ("an event the script does not handle", "MenuExtText",
             [("HTMLBody", body), ("HTMLAnchorElement", link)], None),
        ]
        for name, event, page, sent in cases:
            with self.subTest(name):
                out = self.run_menu_script(event, page)
                self.assertEqual(out, ([f"CREATE {PROGID}", f"SENT {sent}"] if sent else []) +
                                 ["END"])

    def test_failed_creation_shows_an_alert(self):
        out = self.run_menu_script("MenuExtAnchor", [("HTMLAnchorElement", "http://multi.test/")],
                                   fail_create=True)
        self.assertEqual(out, [f"CREATE {PROGID}",
                               'ALERT Can\'t create "Netsorter.qvClicker" object, please reinstall '
                               "service", "END"])

    def run_menu_script(self, event, page, fail_create=False):
        body = script_body(self.resource)
        # The replacements reach every place the script asks for them.
        self.assertEqual(body.count("CreateObject("), 1)
        self.assertGreaterEqual(body.count("TypeName("), 1)
        body = body.replace("CreateObject(", "FakeCreateObject(").replace("TypeName(",
                                                                           "FakeTypeName(")
        with open(os.path.join(HERE, "menu_script", "stand_ins.vbs"), encoding="ascii") as f:
            stand_ins = f.read()
        setup = ["failCreate = " + ("True" if fail_create else "False"), "Set node = Nothing"]
        for kind, href in page:
            setup.append(f'Set node = NewElement("{kind}", "{href}", node)')
        setup.append(f'Set external = NewExternal("{event}", 217, 43, node)')
        out = run_vbs("\n".join([stand_ins, *setup, body, 'WScript.Echo "END"', ""]))
        self.assertNotIn("WRONG POINT", "\n".join(out))
        return [line for line in out if not line.startswith("POINT ")]


def extract_resource(exe):
    # --raw: wrestool converts only the resource types it knows.
    return subprocess.run(["wrestool", "-x", "--raw", "-t", "23", "-n", "101", exe],
                          capture_output=True, check=True).stdout


def script_body(resource):
    text = resource.decode("ascii")
    match = re.search(r"<script[^>]*>(.*)</script>", text, re.S | re.I)
    return match.group(1)


if __name__ == "__main__":
    unittest.main()
