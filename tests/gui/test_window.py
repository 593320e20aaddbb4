"""Netsorter.exe as a person uses its main window and tray: checks from the button, the start
in the tray, the close box, "Выход", "Всегда впереди", a missing nets.txt, and the balloon.

Every program start costs seconds under wine, so one program serves a whole table."""
import errno
import json
import os
import shutil
import subprocess
import tempfile
import unittest

from harness import (ARTIFACTS, BIN, DesktopProgram, GuiTestCase, Program, bmp_to_png, driver,
                     install_copy, popup_menu_of, reg, reg_key, stable_shot,
                     standalone_tray_shown, wait_until, win_path, wine, xdotool)

NO_DOMAIN = "<Доменное имя отсутсвует>"
NO_IP = {"ip": "<IP-адрес отсутсвует>", "traffic": "<неправильный IP>",
         "country": "<страна не определена>", "owner": "<владелец не определен>"}
NO_COUNTRY = "<не удалось определить страну>"
GOOGLE = "AS15169 Google LLC"
DNS = "Публичные DNS-серверы"
PRIVATE = "Частные сети"
DOCS = "Адреса для документации и примеров"

# What the boxes show after the check button, for the address in the box. The address box
# keeps what was typed (blanks included).
BUTTON_CHECKS = [
    ("8.8.8.8", {"domain": "dns.google", "ip": "8.8.8.8", "traffic": DNS, "country": "США (US)",
                 "owner": GOOGLE}),
    ("  77.88.8.8  ", {"domain": "dns.yandex", "ip": "77.88.8.8", "traffic": DNS,
                       "country": "Россия (RU)"}),
    ("10.9.8.6", {"domain": "multi.test", "ip": "10.9.8.6", "traffic": PRIVATE,
                  "country": NO_COUNTRY, "owner": "<не удалось определить владельца>"}),
    # No name for the address.
    ("192.0.2.11", {"domain": NO_DOMAIN, "ip": "192.0.2.11", "traffic": DOCS,
                    "country": NO_COUNTRY}),
    # A URL goes the host-name way; a name with several addresses takes the first.
    ("http://multi.test/some/path", {"domain": "multi.test", "ip": "10.9.8.7",
                                     "traffic": PRIVATE, "country": NO_COUNTRY}),
    ("https://one.test/a?b=c#d", {"domain": "one.test", "ip": "192.0.2.10", "traffic": DOCS,
                                  "country": NO_COUNTRY}),
    # A link's port is no part of its host.
    ("http://one.test:8080/", {"domain": "one.test", "ip": "192.0.2.10", "traffic": DOCS,
                               "country": NO_COUNTRY}),
    # An international name, known to the hosts file only in its ASCII form, shows as given.
    ("http://пример.рф:8080/", {"domain": "пример.рф", "ip": "192.0.2.77", "traffic": DOCS,
                                "country": NO_COUNTRY}),
    # Even when its host is a dotted address.
    ("http://8.8.8.8/", {"domain": "8.8.8.8", "ip": "8.8.8.8", "traffic": DNS,
                         "country": "США (US)"}),
    # IPv6: an address (written as RFC 5952 writes it, named backwards), a name with IPv6
    # addresses only, and an IPv4 address written in IPv6, checked as that IPv4 address.
    ("2001:DB8:0::10", {"domain": "v6only.test", "ip": "2001:db8::10", "traffic": DOCS}),
    ("v6only.test", {"domain": "v6only.test", "ip": "2001:db8::10", "traffic": DOCS}),
    ("::ffff:10.9.8.6", {"domain": "multi.test", "ip": "::ffff:10.9.8.6", "traffic": PRIVATE,
                         "country": NO_COUNTRY}),
    ("", {"domain": NO_DOMAIN, **NO_IP}),
    ("   ", {"domain": NO_DOMAIN, **NO_IP}),
    # A name that does not resolve stays as it was given.
    ("nosuch.invalid", {"domain": "nosuch.invalid", **NO_IP}),
]


class BlockedNameLookups:
    """Name lookups that wait until the test lets them go: for as long as this lives, the
    tests' own hosts file (in the mount namespace of scripts/hermetic) is a FIFO, whose
    reader waits in open() for the test to write."""

    def __enter__(self):
        with open("/etc/hosts") as f:
            self.hosts = f.read()
        self.dir = tempfile.mkdtemp(prefix="netsorter-hosts-")
        fifo = os.path.join(self.dir, "hosts")
        os.mkfifo(fifo)
        subprocess.run(["mount", "--bind", fifo, "/etc/hosts"], check=True)
        self.writer = None
        return self

    def wait_for_lookup(self):
        """Returns once a name lookup has opened the hosts file and waits for it."""
        def opened():
            try:
                return os.open("/etc/hosts", os.O_WRONLY | os.O_NONBLOCK)
            except OSError as e:
                if e.errno == errno.ENXIO:  # nobody reads yet
                    return None
                raise
        self.writer = wait_until(opened, "a name lookup")

    def __exit__(self, *exc):
        if self.writer is not None:
            try:
                os.write(self.writer, self.hosts.encode())
            except OSError:
                pass  # the reader is gone
            os.close(self.writer)
        subprocess.run(["umount", "/etc/hosts"], check=True)
        shutil.rmtree(self.dir, ignore_errors=True)


def wait_for(read, expected, what):
    """Polls read() until it holds every expected key and value; the failure shows the last
    reading, so that a wrong text is seen as such."""
    seen = []

    def probe():
        seen[:] = [read()]
        return all(seen[0].get(k) == v for k, v in expected.items())

    try:
        wait_until(probe, what)
    except AssertionError as e:
        raise AssertionError(f"{e}; last seen: {seen[0] if seen else None}") from None
    return seen[0]


def wait_boxes(program, expected):
    return wait_for(program.boxes, expected, "the boxes")


def wait_state(program, **expected):
    return wait_for(program.state, expected, "the window's state")


class ButtonChecks(GuiTestCase):
    def test_results_in_the_boxes(self):
        program = self.start()
        state = program.state()
        self.assertEqual(state["caption"], "Netsorter - Проверка IP")
        self.assertTrue(state["visible"])
        self.assertFalse(state["tray"])
        self.assertFalse(state["topmost"])

        for address, expected in BUTTON_CHECKS:
            with self.subTest(address=address):
                # Empty boxes first, so that the last check's texts cannot pass for these.
                driver("clear-results")
                program.check(address)
                wait_boxes(program, {"address": address, **expected})

        # Checks from the button leave the window where it is.
        state = program.state()
        self.assertTrue(state["visible"])
        self.assertFalse(state["tray"])


class StartAndEnd(GuiTestCase):
    def test_tray_start_restore_close_box_and_exit(self):
        program = self.start("/hide")
        wait_state(program, visible=False, tray=True)
        wait_until(standalone_tray_shown, "wine's tray with the icon")
        pid = program.state()["pid"]

        # A left press on the icon brings the window back and takes the icon away.
        driver("tray", "left")
        wait_state(program, visible=True, tray=False)

        # The close box sends it to the tray; the program lives on.
        driver("close")
        wait_state(program, visible=False, tray=True)
        self.assertIsNone(program.process.poll())

        # A right press opens the tray menu; its one item, clicked, restores. (Not typed: keys
        # reach the menu only while the X focus lets them, which an earlier program's windows
        # may have left nowhere.)
        driver("tray", "right")
        wait_until(lambda: popup_menu_of(pid), "the tray menu")

        def chosen():
            if program.state()["visible"]:
                return True
            menu = popup_menu_of(pid)
            if menu:
                left, top, right, bottom = menu["rect"]
                xdotool("mousemove", str((left + right) // 2), str((top + bottom) // 2),
                        "click", "1")
            return False

        wait_until(chosen, "the window restored from the tray menu", interval=1)
        wait_state(program, visible=True, tray=False)

        # The same command, posted directly.
        driver("menu", "Вид/Свернуть в трей")
        wait_state(program, visible=False, tray=True)
        driver("menu", "Tray/Развернуть")
        wait_state(program, visible=True, tray=False)

        # "Выход" from the tray ends the program and takes its icon along.
        driver("close")
        wait_state(program, visible=False, tray=True)
        driver("menu", "Файл/Выход")
        self.assertEqual(program.wait_exit(), 0)
        wait_until(lambda: not standalone_tray_shown(), "the tray icon to go")

    def test_always_on_top_toggles_and_the_tray_switches_it_off(self):
        program = self.start()
        for topmost in (True, False, True):
            driver("menu", "Вид/Всегда впереди")
            wait_state(program, topmost=topmost)

        driver("menu", "Вид/Свернуть в трей")
        wait_state(program, visible=False, tray=True, topmost=False)
        driver("tray", "left")
        wait_state(program, visible=True, tray=False, topmost=False)
        # The mark went with the topmost state: the next toggle switches it on again.
        driver("menu", "Вид/Всегда впереди")
        wait_state(program, topmost=True)

    def test_a_close_from_another_program_ends_it(self):
        # taskkill without /F, like a task manager's "End task", asks with a bare WM_CLOSE:
        # that is not the user's close box, so the program ends and takes its icon along.
        program = self.start("/hide")
        wait_state(program, visible=False, tray=True)
        wait_until(standalone_tray_shown, "wine's tray with the icon")
        wine("taskkill", "/pid", str(program.state()["pid"]))
        self.assertEqual(program.wait_exit(), 0)
        wait_until(lambda: not standalone_tray_shown(), "the tray icon to go")

    def test_a_second_start_hands_over_to_the_running_program(self):
        program = self.start()
        pid = program.state()["pid"]
        driver("menu", "Вид/Свернуть в трей")
        wait_state(program, visible=False, tray=True)
        # {arguments of the second start: whether the running program comes out of the tray}
        for args, shown in ((("/hide",), False), ((), True)):
            with self.subTest(args=args):
                second = Program(*args)
                self.programs.append(second)
                self.assertEqual(second.wait_exit(), 0)
                wait_state(program, visible=shown, tray=not shown, pid=pid)

    def test_killed_during_a_check_keeps_its_settings_and_starts_again(self):
        intercept, run = r"HKCU\Software\Netsorter", r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
        self.addCleanup(reg, "delete", intercept, "/f", check=False)
        self.addCleanup(reg, "delete", run, "/v", "Netsorter", "/f", check=False)
        program = self.start()
        driver("menu", "Настройки/Перехватывать [Ctr+C+C]")
        driver("menu", "Настройки/Автозапуск")
        stored = wait_until(lambda: (lambda i, r: (i, r["values"]["Netsorter"])
                                     if i and r and "Netsorter" in r["values"] else None)(
            reg_key(intercept), reg_key(run)), "the settings stored")
        pid = program.state()["pid"]
        with BlockedNameLookups() as lookups:
            program.check("http://multi.test/")
            lookups.wait_for_lookup()
            wine("taskkill", "/f", "/pid", str(pid))
            program.wait_exit()
        self.assertEqual((reg_key(intercept), reg_key(run)["values"]["Netsorter"]), stored)
        program = self.start()
        program.check("10.9.8.6")
        wait_boxes(program, {"domain": "multi.test", "traffic": PRIVATE})

    def test_installed_program_finds_its_data(self):
        prefix = tempfile.mkdtemp(prefix="netsorter-install-")
        self.addCleanup(shutil.rmtree, prefix, ignore_errors=True)
        subprocess.run(["cmake", "--install", os.path.dirname(BIN), "--prefix", prefix],
                       check=True, stdout=subprocess.DEVNULL, timeout=300)
        program = self.start(directory=prefix)
        program.check("77.88.8.8")
        wait_boxes(program, {"traffic": DNS, "country": "Россия (RU)",
                             "owner": "AS13238 YANDEX LLC"})

    def test_missing_subnet_list_is_reported_and_ends_the_program(self):
        where = install_copy(data=("countries.txt", "GeoIP.dat"))
        self.addCleanup(shutil.rmtree, where, ignore_errors=True)
        program = Program(directory=where)
        self.programs.append(program)

        box = json.loads(driver("msgbox"))
        self.assertIn("nets.txt", box["text"])
        self.assertEqual(box["buttons"], ["OK"])
        # Start-up stopped before there was a window; the report waits for the user.
        self.assertEqual(driver("wait-window", "0", check=False), "")
        self.assertIsNone(program.process.poll())
        driver("msgbox-press", "OK")
        self.assertNotEqual(program.wait_exit(), 0)


class TrayBalloon(GuiTestCase):
    """In a virtual desktop of its own, so that the screenshots show a taskbar and frames."""

    def start_in_desktop(self, *args):
        program = DesktopProgram(*args)
        self.programs.append(program)
        program.wait_window()
        return program

    def test_checks_from_the_tray_show_a_balloon(self):
        program = self.start_in_desktop("/hide")
        wait_state(program, visible=False, tray=True)

        # While the program lives in the tray a dotted address is not looked up backwards,
        # and the result goes to a balloon too; it is taken down again a little later.
        program.check("8.8.8.8")
        wait_boxes(program, {"domain": "<не проверялось ...>", "ip": "8.8.8.8", "traffic": DNS,
                             "country": "США (US)"})
        os.makedirs(ARTIFACTS, exist_ok=True)
        shot = os.path.join(ARTIFACTS, "balloon.bmp")
        balloon = json.loads(program.driver("wait-balloon", "30000", win_path(shot)))
        self.assertEqual(balloon["text"], f"{DNS}\r\nСША (US)\r\n{GOOGLE}")
        left, top, _, _ = balloon["rect"]
        # The balloon with the tray icon below it, on a strip of the desktop and taskbar.
        width, height = map(int, program.size.split("x"))
        bmp_to_png(shot, os.path.join(ARTIFACTS, "balloon.png"),
                   crop=(max(0, left - 150), max(0, top - 20), width, height))
        os.remove(shot)
        program.driver("wait-no-balloon", "30000")
        self.assertFalse(program.state()["visible"])

        program.check("http://multi.test/x")
        balloon = json.loads(program.driver("wait-balloon", "30000"))
        self.assertEqual(balloon["text"], f"{PRIVATE}\r\n{NO_COUNTRY}")
        program.driver("wait-no-balloon", "30000")

        # Back from the tray, the window checks as usual and shows what it found.
        program.driver("tray", "left")
        wait_state(program, visible=True, tray=False)
        program.driver("clear-results")
        program.check("https://dns.google/resolve")
        wait_boxes(program, {"domain": "dns.google", "ip": "8.8.8.8", "traffic": DNS,
                             "country": "США (US)", "owner": GOOGLE})
        self.assertFalse(program.state()["tray"])
        stable_shot(os.path.join(ARTIFACTS, "window.png"), program.state()["rect"],
                    desktop=program.desktop)
        # An IPv6 address, for the README.
        program.driver("clear-results")
        program.check("2001:4860:4860::8888")
        wait_boxes(program, {"domain": "dns.google", "ip": "2001:4860:4860::8888",
                             "traffic": DNS, "country": "США (US)"})
        stable_shot(os.path.join(ARTIFACTS, "window-ipv6.png"), program.state()["rect"],
                    desktop=program.desktop)


if __name__ == "__main__":
    unittest.main()
