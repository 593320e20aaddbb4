"""The menu "Настройки" (browser menu item, autostart, the country and owner databases) and the
About box, on the real program."""
import json
import os
import pwd
import shutil
import subprocess
import tempfile
import unittest

from harness import (BIN, HERE, GuiTestCase, driver, install_copy, reg, reg_key, stop_any_program,
                     wait_until, win_path, wine)

MENU_KEY = r"HKCU\Software\Microsoft\Internet Explorer\MenuExt\Проверить IP"
CLSID = "{D4C90FFB-DAF6-42F3-8959-E44BB2726296}"
SERVER_KEY = rf"HKCR\CLSID\{CLSID}\LocalServer32"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
SETTINGS_KEY = r"HKCU\Software\Netsorter"
# {the browsers' key of the native messaging host: the manifest it names}
HOST_KEYS = {r"HKCU\Software\Google\Chrome\NativeMessagingHosts\netsorter": "netsorter-chrome.json",
             r"HKCU\Software\Microsoft\Edge\NativeMessagingHosts\netsorter": "netsorter-chrome.json",
             r"HKCU\Software\Mozilla\NativeMessagingHosts\netsorter": "netsorter-firefox.json"}


def no_message_box():
    """True when the program shows no message box right now."""
    return driver("msgbox", "0", check=False) == ""


def message_box():
    return json.loads(wait_until(lambda: driver("msgbox", "1000", check=False), "a message box"))


def spaced_install():
    """An install directory whose path holds a blank."""
    where = install_copy()
    spaced = where + " with blanks"
    os.rename(where, spaced)
    return spaced


def wait_registered():
    """Waits until the hidden /regserver run has written its last value, the class of the
    programmatic name, so that nothing of it is still being written afterwards."""
    wait_until(lambda: (lambda k: k if k and "" in k["values"] else None)(
        reg_key(r"HKLM\Software\Classes\Netsorter.qvClicker\CLSID")), "the class registration")


class BrowserMenuTest(GuiTestCase):
    def setUp(self):
        super().setUp()
        stop_any_program()
        self.installs = []
        self.clean()

    def tearDown(self):
        super().tearDown()
        self.clean()
        for where in self.installs:
            shutil.rmtree(where, ignore_errors=True)

    def clean(self):
        reg("delete", MENU_KEY, "/f", check=False)
        reg("delete", rf"HKLM\Software\Classes\CLSID\{CLSID}", "/f", check=False)
        reg("delete", r"HKLM\Software\Classes\Netsorter.qvClicker", "/f", check=False)
        for key in HOST_KEYS:
            reg("delete", key, "/f", check=False)

    def start_installed(self, exe_name):
        where = install_copy(exe_name=exe_name)
        self.installs.append(where)
        return self.start(directory=where, exe_name=exe_name), os.path.join(where, exe_name)

    def test_add_writes_the_menu_entry_and_registers_the_class(self):
        warning = {"title": "Предупреждение", "buttons": ["OK"],
                   "text": "Исполняемый файл должен называться Netsorter.exe, иначе совместиомсть "
                           "с IE не гарантирована!"}
        # {executable's name: whether the program warns}
        for exe_name, warns in (("Netsorter.exe", False), ("netsorter.exe", True),
                                ("Other.exe", True)):
            with self.subTest(exe_name=exe_name):
                program, exe = self.start_installed(exe_name)
                try:
                    driver("menu", "Настройки/Добавить пункт в меню IE")
                    if warns:
                        self.assertEqual(message_box(), warning)
                        # The rest waits for the user's answer.
                        self.assertIsNone(reg_key(MENU_KEY))
                        driver("msgbox-press", "OK")
                    # The key is created before its values are written: wait for the last one.
                    entry = wait_until(lambda: (lambda e: e if e and "contexts" in e["values"]
                                                else None)(reg_key(MENU_KEY)),
                                       "the browser menu entry")
                    short = json.loads(driver("short-path", win_path(exe)))
                    self.assertEqual(entry["values"], {"": ["REG_SZ", f"res://{short}/101"],
                                                       "contexts": ["REG_DWORD", 34]})
                    # Had a warning come, the entry would not be there before the answer.
                    self.assertTrue(no_message_box())
                    wait_registered()
                    server = reg_key(SERVER_KEY)
                    self.assertEqual(server["values"][""], ["REG_SZ", f'"{win_path(exe)}"'])
                finally:
                    program.stop()
                    self.clean()

    def test_delete_removes_the_entry_and_unregisters_the_class(self):
        # {whether the item was added before}
        for added in (True, False):
            with self.subTest(added=added):
                program, exe = self.start_installed("Netsorter.exe")
                if added:
                    driver("menu", "Настройки/Добавить пункт в меню IE")
                    wait_until(lambda: reg_key(MENU_KEY), "the browser menu entry")
                else:
                    wine(exe, "/regserver")
                wait_registered()
                driver("menu", "Настройки/Удалить пункт из меню IE")
                wait_until(lambda: reg_key(SERVER_KEY) is None, "the class gone")
                self.assertIsNone(reg_key(MENU_KEY))
                self.assertIsNone(reg_key(r"HKCR\Netsorter.qvClicker"))
                self.assertTrue(no_message_box())
                program.stop()

    def test_browsers_item_registers_the_host_and_the_class(self):
        program, exe = self.start_installed("Netsorter.exe")
        where = os.path.dirname(exe)
        driver("menu", "Настройки/Добавить пункт в меню браузеров")
        # The host reaches the program through the automation class.
        wait_registered()
        for key, manifest in HOST_KEYS.items():
            entry = wait_until(lambda: reg_key(key), key)
            self.assertEqual(entry["values"][""], ["REG_SZ", win_path(os.path.join(where, manifest))])
            self.assertTrue(os.path.exists(os.path.join(where, manifest)))

        driver("menu", "Настройки/Удалить пункт из меню браузеров")
        for key, manifest in HOST_KEYS.items():
            wait_until(lambda: reg_key(key) is None, f"{key} gone")
            self.assertFalse(os.path.exists(os.path.join(where, manifest)))
        # Internet Explorer's item may still need the class.
        self.assertIsNotNone(reg_key(SERVER_KEY))
        self.assertTrue(no_message_box())
        program.stop()


class AutostartTest(GuiTestCase):
    def setUp(self):
        super().setUp()
        stop_any_program()
        self.where = spaced_install()
        self.exe = os.path.join(self.where, "Netsorter.exe")
        reg("add", RUN_KEY, "/v", "Other", "/d", r"C:\other.exe", "/f")

    def tearDown(self):
        super().tearDown()
        reg("delete", RUN_KEY, "/v", "Netsorter", "/f", check=False)
        reg("delete", RUN_KEY, "/v", "Other", "/f", check=False)
        shutil.rmtree(self.where, ignore_errors=True)

    def run_value(self):
        key = reg_key(RUN_KEY)
        self.assertIsNotNone(key, "the Run key stays")
        self.assertEqual(key["values"].get("Other"), ["REG_SZ", r"C:\other.exe"])
        return key["values"].get("Netsorter")

    def test_toggle_writes_or_removes_the_run_value(self):
        command = ["REG_SZ", f'"{win_path(self.exe)}" /hide']
        # {value at start (None: absent): value after each of two toggles}
        cases = [(None, [command, None]), ("C:\\somewhere\\else.exe", [None, command])]
        for before, after in cases:
            with self.subTest(before=before):
                if before is not None:
                    reg("add", RUN_KEY, "/v", "Netsorter", "/d", before, "/f")
                program = self.start(directory=self.where)
                for expected in after:
                    driver("menu", "Настройки/Автозапуск")
                    wait_until(lambda: self.run_value() == expected, f"the Run value {expected}")
                program.stop()
                reg("delete", RUN_KEY, "/v", "Netsorter", "/f", check=False)


class AboutTest(GuiTestCase):
    def setUp(self):
        super().setUp()
        stop_any_program()

    def test_about_box(self):
        # Beside the built program lies the shipped current database, which answers.
        self.start()
        driver("menu", "?/О программе")
        box = message_box()
        lines = box["text"].split("\r\n")
        self.assertEqual((box["title"], box["buttons"]), ("О программе", ["OK"]))
        self.assertEqual(lines[:3] + lines[8:],
                         ["Программа для определения типа трафика", '""',
                          "В программе использована база данных GeoIP http://www.maxmind.com",
                          ""])
        self.assertRegex(lines[3], r"^Версия \d+\.\d+\.\d+$")
        self.assertRegex(lines[4], r"^База стран: geo-whois-asn-country\.mmdb "
                                   r"\(\d{4}-\d\d-\d\d, данные NRO \(nro\.net\), CC BY 4\.0\)$")
        self.assertEqual(lines[5], "    из папки " + win_path(BIN) + "\\")
        self.assertEqual(lines[7], "    из папки " + win_path(BIN) + "\\")
        self.assertRegex(lines[6], r"^База владельцев сетей: asn\.mmdb \(\d{4}-\d\d-\d\d, данные "
                                   r"RouteViews \(routeviews\.org\), DB-IP \(db-ip\.com\) и NRO "
                                   r"\(nro\.net\), CC BY 4\.0\)$")
        driver("msgbox-press", "OK")
        wait_until(no_message_box, "the box closed")


def registry_value(key, name):
    values = (reg_key(key) or {"values": {}})["values"]
    return values[name][1] if name in values else None


class CountryDatabaseTest(GuiTestCase):
    """"Настройки" → "База стран…": the chosen database answers, is remembered, and any
    database can be replaced while the program runs."""

    @classmethod
    def setUpClass(cls):
        cls.samples = tempfile.mkdtemp(prefix="netsorter-mmdb-")
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "..", "tools", "mmdb_writer.py"),
                        "samples", cls.samples], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.samples, ignore_errors=True)

    def setUp(self):
        super().setUp()
        stop_any_program()
        reg("delete", SETTINGS_KEY, "/f", check=False)
        self.addCleanup(reg, "delete", SETTINGS_KEY, "/f", check=False)
        # The install holds GeoIP.dat and no .mmdb: GeoIP.dat answers until a choice.
        self.where = install_copy()
        self.addCleanup(shutil.rmtree, self.where, ignore_errors=True)

    def test_the_chosen_database_answers_is_remembered_and_can_be_replaced(self):
        # Outside the data folder, where it would answer unchosen.
        elsewhere = tempfile.mkdtemp(prefix="netsorter-chosen-")
        self.addCleanup(shutil.rmtree, elsewhere, ignore_errors=True)
        chosen = os.path.join(elsewhere, "chosen.mmdb")
        shutil.copy(os.path.join(self.samples, "newer.mmdb"), chosen)
        program = self.start(directory=self.where)
        program.check("8.8.8.8")
        program.wait_boxes({"country": "США (US)"})

        driver("menu", "Настройки/База стран…")
        driver("open-file", win_path(chosen))
        wait_until(lambda: registry_value(SETTINGS_KEY, "countryDatabase") == win_path(chosen),
                   "the choice stored")
        program.check("8.8.4.4")
        program.wait_boxes({"ip": "8.8.4.4", "country": "NW"})

        # Nothing holds the file: an update can replace it, and the program goes on with
        # what it read.
        update = os.path.join(elsewhere, "update.mmdb")
        shutil.copy(os.path.join(self.samples, "older.mmdb"), update)
        driver("move-file", win_path(update), win_path(chosen))
        program.check("1.1.1.1")
        program.wait_boxes({"ip": "1.1.1.1", "country": "NW"})

        # The choice outlives the program; the new start reads the file as it is now.
        program.stop()
        program = self.start(directory=self.where)
        program.check("8.8.8.8")
        program.wait_boxes({"ip": "8.8.8.8", "country": "OL"})

    def test_a_file_that_is_no_database_is_refused_and_not_remembered(self):
        program = self.start(directory=self.where)
        # {item: the file chosen, the start of the box's text, its reason, the value not stored}
        cases = [("База стран…", os.path.join(self.where, "nets.txt"), "базу стран",
                  "это не база стран (ни MaxMind DB, ни база стран GeoIP)", "countryDatabase"),
                 ("База владельцев сетей…", os.path.join(self.samples, "newer.mmdb"),
                  "базу владельцев сетей", "ни у одного адреса нет владельца "
                  "(autonomous_system_number или autonomous_system_organization)", "asnDatabase")]
        for item, chosen, what, reason, value in cases:
            with self.subTest(item=item):
                driver("menu", "Настройки/" + item)
                driver("open-file", win_path(chosen))
                box = message_box()
                self.assertEqual(box["title"], "Netsorter")
                self.assertEqual(box["text"],
                                 f"Не удалось открыть {what} {win_path(chosen)}\r\n{reason}")
                driver("msgbox-press", "OK")
                wait_until(no_message_box, "the box closed")
                self.assertIsNone(registry_value(SETTINGS_KEY, value))
        program.check("8.8.8.8")
        program.wait_boxes({"country": "США (US)"})

    def test_the_chosen_owner_database_answers_and_is_remembered(self):
        owners = win_path(os.path.join(self.samples, "owners.mmdb"))
        program = self.start(directory=self.where)
        driver("menu", "Настройки/База владельцев сетей…")
        driver("open-file", owners)
        wait_until(lambda: registry_value(SETTINGS_KEY, "asnDatabase") == owners,
                   "the choice stored")
        program.check("10.1.2.3")
        program.wait_boxes({"ip": "10.1.2.3", "owner": "AS64500 Десять сетей"})

    def test_a_choice_that_no_longer_opens_is_told_once_and_forgotten(self):
        gone = win_path(os.path.join(self.where, "gone.mmdb"))
        lost = win_path(os.path.join(self.where, "lost.mmdb"))
        for args in ([], ["/hide"]):
            with self.subTest(args=args):
                reg("add", SETTINGS_KEY, "/v", "countryDatabase", "/d", gone, "/f")
                reg("add", SETTINGS_KEY, "/v", "asnDatabase", "/d", lost, "/f")
                program = self.start(*args, directory=self.where)
                if args:
                    balloon = json.loads(driver("wait-balloon", "30000"))
                    self.assertIn("Не удалось открыть выбранную базу стран", balloon["text"])
                else:
                    box = message_box()
                    self.assertTrue(box["text"].startswith(
                        "Не удалось открыть выбранную базу стран " + gone + "\r\n"), box["text"])
                    self.assertIn("\r\nНе удалось открыть выбранную базу владельцев сетей " + lost +
                                  "\r\n", box["text"])
                    driver("msgbox-press", "OK")
                    wait_until(no_message_box, "the box closed")
                self.assertIsNone(registry_value(SETTINGS_KEY, "countryDatabase"))
                self.assertIsNone(registry_value(SETTINGS_KEY, "asnDatabase"))
                program.stop()

    def test_geoip_dat_can_be_replaced_while_the_program_runs(self):
        program = self.start(directory=self.where)
        program.check("8.8.8.8")
        program.wait_boxes({"country": "США (US)"})
        # An updater moves the file in use aside and the new one into its place; the
        # program goes on with the file it opened.
        dat = os.path.join(self.where, "GeoIP.dat")
        update = os.path.join(self.where, "GeoIP.new")
        shutil.copy(dat, update)
        driver("move-file", win_path(dat), win_path(dat + ".old"))
        driver("move-file", win_path(update), win_path(dat))
        program.check("8.8.4.4")
        program.wait_boxes({"ip": "8.8.4.4", "country": "США (US)"})


if __name__ == "__main__":
    unittest.main()


class UpdateTest(GuiTestCase):
    """"Настройки" → "Обновить базы" while the window runs: the next check answers from the
    download, without a restart."""

    def setUp(self):
        super().setUp()
        stop_any_program()
        reg("delete", SETTINGS_KEY, "/f", check=False)
        self.addCleanup(reg, "delete", SETTINGS_KEY, "/f", check=False)
        # The data folder answers from the older sample, which the download replaces.
        self.where = install_copy(data=("nets.txt", "countries.txt"))
        self.addCleanup(shutil.rmtree, self.where, ignore_errors=True)
        work = tempfile.mkdtemp(prefix="netsorter-server-")
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "..", "tools", "mmdb_writer.py"),
                        "samples", work], check=True)
        subprocess.run("sha256sum newer.mmdb >SUMS", shell=True, cwd=work, check=True)
        shutil.copy(os.path.join(work, "older.mmdb"), self.where)
        server = subprocess.Popen(["/usr/bin/python3",
                                   os.path.join(HERE, "..", "tools", "update_server.py"), work,
                                   os.path.join(work, "port"), os.path.join(work, "log")])
        self.addCleanup(server.wait)
        self.addCleanup(server.kill)
        port_file = os.path.join(work, "port")
        wait_until(lambda: os.path.exists(port_file) and os.path.getsize(port_file), "the server")
        with open(port_file, encoding="utf-8") as f:
            port = f.read().strip()
        url = f"http://127.0.0.1:{port}"
        with open(os.path.join(self.where, "sources.txt"), "w", encoding="utf-8") as f:
            f.write(f"country\t{url}/files/newer.mmdb\t{url}/files/SUMS\tдля проверки\n")
        # The downloads land in the prefix's LOCALAPPDATA, whatever this environment says.
        self.downloads = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users",
                                      pwd.getpwuid(os.getuid()).pw_name, "AppData",
                                      "Local", "Netsorter")
        shutil.rmtree(self.downloads, ignore_errors=True)
        self.addCleanup(shutil.rmtree, self.downloads, ignore_errors=True)

    def test_update_from_the_menu_answers_the_next_check(self):
        program = self.start(directory=self.where)
        program.check("100.1.2.3")
        program.wait_boxes({"ip": "100.1.2.3", "country": "OL"})
        driver("menu", "Настройки/Обновить базы")
        box = message_box()
        self.assertEqual(box["text"], "Базы обновлены: страны — 2023-11-14")
        driver("msgbox-press", "OK")
        wait_until(no_message_box, "the box closed")
        program.check("100.1.2.4")
        program.wait_boxes({"ip": "100.1.2.4", "country": "NW"})
