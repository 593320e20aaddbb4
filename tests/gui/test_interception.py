"""Clipboard interception: Ctrl+C pressed twice within half a second checks the clipboard's
text, whichever program has the focus.

The keys are typed with xdotool into another wine program (notepad), since wine reports the
keyboard's state only while one of its windows has the focus; the clipboard is filled with
xclip. Each Ctrl+C is a real keystroke: Ctrl held for about 150 ms and C tapped for 30 ms
inside it, or both keys held down together for a while, as people copy. The program sees a
tap between two polls by the C key's state, which wine keeps as "down now or pressed since
the last query"; wine keeps no such memory for the Ctrl key, so a Ctrl released between two
polls would go unseen, and Ctrl is held over at least one poll.

Whether a gesture started a check is read from the address box: every check from outside the
window writes its address there first, and nsdriver's watch-checks empties the box each time,
recording every check even when two read the same text. A gesture that must not check is
followed by a second gesture that must (another text in the clipboard); once that one is seen,
the first one's moment is long past, so no fixed wait is needed to tell "no check" from "not
yet".
"""
import json
import os
import subprocess
import unittest

from harness import (BIN, DEADLINE, WINE_RUN, GuiTestCase, driver, reg, reg_key,
                     stop_any_program, wait_until, win_path)

SETTINGS_KEY = r"HKCU\Software\Netsorter"
NOTEPAD = "Блокнот"
NSDRIVER = os.path.join(BIN, "nsdriver.exe")


class Keystroke:
    """xdotool's arguments for one press, and how long it lasts."""

    def __init__(self, args, length_ms):
        self.args = args
        self.length_ms = length_ms


def keystroke(*modifiers):
    """The modifiers held for about 150 ms, the C key tapped for 30 ms inside."""
    down = [a for m in modifiers for a in ("keydown", m)]
    up = [a for m in reversed(modifiers) for a in ("keyup", m)]
    return Keystroke([*down, "sleep", "0.005", "keydown", "c", "sleep", "0.03", "keyup", "c",
                      "sleep", "0.12", *up], 155)


def held(ms):
    """Ctrl and C pressed together and held for ms: one press, however long."""
    return Keystroke(["keydown", "ctrl", "keydown", "c", "sleep", f"{ms / 1000:.3f}",
                      "keyup", "c", "keyup", "ctrl"], ms)


CTRL_C = keystroke("ctrl")
MARKER, CONTROL = "192.0.2.10", "77.88.8.8"


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, timeout=60)


def notepad_window():
    """Notepad's X window, found once: a search walks every window, and one that closes
    meanwhile (a balloon, a box) makes xdotool fail with BadWindow."""
    found = subprocess.run(["xdotool", "search", "--name", NOTEPAD], capture_output=True,
                           text=True)
    return found.returncode == 0 and found.stdout.split()[0]


def press(gaps_ms, keys=CTRL_C):
    """The keystroke once, then once more after each gap (from press to press). Before, the
    hands rest long enough to close any window a former press opened; after, long enough for
    the program's next poll."""
    xdotool("windowfocus", "--sync", InterceptionTest.notepad_window)
    args = ["sleep", "0.6", *keys.args]
    for gap in gaps_ms:
        args += ["sleep", f"{(gap - keys.length_ms) / 1000:.3f}", *keys.args]
    xdotool(*args, "sleep", "0.3")


class Clipboard:
    """The X clipboard, served by xclip in the foreground so that it can be ended."""

    def __init__(self):
        self.owner = None

    def set(self, text):
        previous = self.owner
        self.owner = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard"],
                                      stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
        self.owner.stdin.write(text.encode())
        self.owner.stdin.close()
        # wine takes the X clipboard over by itself, a moment later.
        if len(text) < 1000:
            driver("clipboard", text, "30000")
        else:  # too long for a command line
            wait_until(lambda: json.loads(driver("clipboard", check=False) or '""') == text,
                       "the clipboard's text", interval=1)
        self.end(previous)

    def close(self):
        self.end(self.owner)
        self.owner = None

    @staticmethod
    def end(owner):
        if owner is not None:
            owner.terminate()
            owner.wait(timeout=60)


class Watcher:
    """nsdriver watch-checks: every address a check writes, until the one awaited."""

    def __init__(self, until):
        self.process = subprocess.Popen([WINE_RUN, NSDRIVER, "watch-checks", until, "60000"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        line = self.process.stdout.readline().decode().strip()
        if line != "watching":
            self.process.kill()
            raise AssertionError(f"watch-checks did not start: {line!r}")

    def result(self):
        out, _ = self.process.communicate(timeout=120)
        return json.loads(out.decode())


class InterceptionTest(GuiTestCase):
    @classmethod
    def setUpClass(cls):
        cls.notepad = subprocess.Popen([WINE_RUN, "notepad"], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        cls.notepad_window = wait_until(notepad_window, "notepad")
        cls.clipboard = Clipboard()

    @classmethod
    def tearDownClass(cls):
        cls.clipboard.close()
        # wine-run's child is notepad's own process.
        children = subprocess.run(["ps", "-o", "pid=", "--ppid", str(cls.notepad.pid)],
                                  capture_output=True, text=True).stdout.split()
        for pid in children:
            subprocess.run(["kill", pid])
        cls.notepad.wait(timeout=60)

    def setUp(self):
        super().setUp()
        stop_any_program()
        reg("delete", SETTINGS_KEY, "/f", check=False)

    def tearDown(self):
        super().tearDown()
        reg("delete", SETTINGS_KEY, "/f", check=False)

    def start_intercepting(self):
        reg("add", SETTINGS_KEY, "/v", "intercept", "/d", "1", "/f")
        return self.start()

    def checks_during(self, gesture):
        """The addresses checked while gesture() runs with MARKER in the clipboard, before a
        double Ctrl+C with CONTROL in it is seen."""
        self.clipboard.set(MARKER)
        watcher = Watcher(CONTROL)
        gesture()
        self.clipboard.set(CONTROL)
        press([300])
        seen = watcher.result()
        self.assertEqual(seen[-1:], [CONTROL], "the double Ctrl+C after the gesture checks")
        return seen[:-1]

    def test_toggle_stores_the_setting(self):
        on = {"values": {"intercept": ["REG_SZ", "1"]}, "subkeys": []}
        chosen = win_path(os.path.join(BIN, "GeoIP.dat"))
        kept = {"values": {"countryDatabase": ["REG_SZ", chosen]}, "subkeys": []}
        both = {"values": {**on["values"], **kept["values"]}, "subkeys": []}
        # {stored at start: stored after each of two toggles}; switching off removes the
        # value, and the key once nothing else is in it (the country database chosen stays).
        cases = [(None, [on, None]),
                 ({"intercept": "1", "countryDatabase": chosen}, [kept, both])]
        for before, after in cases:
            with self.subTest(before=before):
                for name, text in (before or {}).items():
                    reg("add", SETTINGS_KEY, "/v", name, "/d", text, "/f")
                program = self.start()
                for expected in after:
                    driver("menu", "Настройки/Перехватывать [Ctr+C+C]")
                    wait_until(lambda: reg_key(SETTINGS_KEY) == expected, f"stored {expected}")
                program.stop()
                reg("delete", SETTINGS_KEY, "/f", check=False)

    def test_double_press_checks_the_clipboard_from_the_tray(self):
        program = self.start_intercepting()
        # The same address from the button, with the window shown, for comparison.
        program.check("8.8.8.8")
        by_button = program.wait_boxes({"domain": "dns.google"})
        self.clipboard.set("8.8.8.8")
        watcher = Watcher("8.8.8.8")
        press([300])
        self.assertEqual(watcher.result(), ["8.8.8.8"])
        program.wait_boxes({"domain": "<не проверялось ...>", "ip": "8.8.8.8",
                            "traffic": by_button["traffic"], "country": by_button["country"]})
        state = program.state()
        self.assertEqual((state["visible"], state["tray"]), (False, True))

    def test_ten_megabytes_in_the_clipboard_are_checked_whole(self):
        program = self.start_intercepting()
        text = "a" * (10 << 20)
        self.clipboard.set(text)
        press([300])
        # No slash and no dotted address: the whole text is a host name that resolves to
        # nothing. Ten megabytes travel through the clipboard, the boxes and the resolver
        # several times over: on a busy machine that takes a while.
        program.wait_boxes({"address": text, "domain": text, "ip": "<IP-адрес отсутсвует>"},
                           timeout=5 * DEADLINE)

    def test_presses_and_their_timing(self):
        self.start_intercepting()
        # {keystroke, gaps between its presses in ms: checks of the clipboard}
        cases = [
            ("Ctrl+C", CTRL_C, [], 0),
            ("Ctrl+C", CTRL_C, [300], 1),
            ("Ctrl+C", CTRL_C, [700], 0),
            ("Ctrl+C", CTRL_C, [200, 200], 1),
            ("Ctrl+C", CTRL_C, [300, 300, 300], 2),
            ("C", keystroke(), [300], 0),
            ("Ctrl+Shift+C", keystroke("ctrl", "shift"), [300], 1),
            # One press counts once, however long the keys stay down.
            ("Ctrl+C held 150 ms", held(150), [], 0),
            ("Ctrl+C held 400 ms", held(400), [], 0),
            ("Ctrl+C held 150 ms", held(150), [300], 1),
            ("Ctrl+C held 150 ms", held(150), [700], 0),
        ]
        for name, keys, gaps, checks in cases:
            with self.subTest(keys=name, gaps=gaps):
                self.assertEqual(self.checks_during(lambda: press(gaps, keys)),
                                 [MARKER] * checks)

    def test_no_polling_while_switched_off(self):
        self.start_intercepting()
        driver("menu", "Настройки/Перехватывать [Ctr+C+C]")
        wait_until(lambda: reg_key(SETTINGS_KEY) is None, "interception off")

        def gesture():
            press([300])
            driver("menu", "Настройки/Перехватывать [Ctr+C+C]")
            wait_until(lambda: reg_key(SETTINGS_KEY) is not None, "interception on")

        self.assertEqual(self.checks_during(gesture), [])


if __name__ == "__main__":
    unittest.main()
