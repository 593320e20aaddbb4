"""The MSI as a user meets it: installed silently, the installed program started and its
settings switched on, upgraded to a higher version over an edited nets.txt and a downloaded
database, uninstalled; the prefix's files and HKCU before and after compared. The tables of
both architectures' packages are read with msiinfo."""
import hashlib
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from harness import REPO, Program, driver, reg, stop_any_program, wait_until, wine

BUILD = os.environ.get("NETSORTER_BUILD", "")
ARCH = "x64" if os.path.basename(BUILD) == "win64" else "x86"
PREFIX = os.environ.get("WINEPREFIX", "")
PROFILE = os.path.join(PREFIX, "drive_c", "users", os.environ.get("USER") or "root")
INSTALLED = os.path.join(PROFILE, "AppData", "Local", "Programs", "Netsorter")
WIN_INSTALLED = r"C:\users\%s\AppData\Local\Programs\Netsorter" % os.path.basename(PROFILE)
USER_DATA = os.path.join(PROFILE, "AppData", "Local", "Netsorter")
SHORTCUT = os.path.join(PROFILE, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                        "Programs", "Netsorter - Проверка IP.lnk")
CLSID = "{D4C90FFB-DAF6-42F3-8959-E44BB2726296}"
# What the MSI writes, by value.
WRITTEN = {
    rf"HKCU\Software\Classes\CLSID\{CLSID}\LocalServer32":
        f'"{WIN_INSTALLED}\\Netsorter.exe"',
    r"HKCU\Software\Classes\Netsorter.qvClicker\CLSID": CLSID,
    r"HKCU\Software\Google\Chrome\NativeMessagingHosts\netsorter":
        WIN_INSTALLED + r"\netsorter-chrome.json",
    r"HKCU\Software\Mozilla\NativeMessagingHosts\netsorter":
        WIN_INSTALLED + r"\netsorter-firefox.json",
}
# What the program writes from its menu.
MENU_SETTINGS = {
    "Настройки/Автозапуск": (r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run", "Netsorter"),
    "Настройки/Перехватывать [Ctr+C+C]": (r"HKCU\Software\Netsorter", "intercept"),
    "Настройки/Добавить пункт в меню IE":
        (r"HKCU\Software\Microsoft\Internet Explorer\MenuExt\Проверить IP", "contexts"),
}


# Steps of the installation script in the order they must run: the newer product is in
# before the older one goes; the clean-up reads the digests before the registry values go;
# the unchanged data files go before the newer ones come.
SEQUENCE = [("InstallExecute", "RemoveExistingProducts"),
            ("RemoveExistingProducts", "InstallFinalize"), ("InstallInitialize", "CleanUp"),
            ("CleanUp", "RemoveRegistryValues"),
            ("InstallInitialize", "ForgetUnchangedData"), ("ForgetUnchangedData", "InstallFiles")]


def version_plus(version, step):
    parts = [int(p) for p in version.split(".")]
    parts[2] += step
    return ".".join(map(str, parts))


VERSION = re.search(r"project\(Netsorter VERSION ([0-9.]+)",
                    open(os.path.join(REPO, "CMakeLists.txt")).read()).group(1)
NEWER = version_plus(VERSION, 1)
OUT = tempfile.mkdtemp(prefix="netsorter-msi-")


def build_msi(arch, build, version, stage=None, signer=None):
    subprocess.run([os.path.join(REPO, "scripts", "msi"), arch, "--build", build, "--version",
                    version, "--out", OUT, *(["--stage", stage] if stage else [])], check=True,
                   stdout=subprocess.DEVNULL, env=dict(os.environ, **(signer or {
                       "NETSORTER_SIGN_CERT": "", "NETSORTER_SIGN_KEY": ""})))
    return os.path.join(OUT, f"Netsorter-{version}-{arch}.msi")


def msiexec(*args):
    return subprocess.run([os.path.join(REPO, "scripts", "wine-run"), "msiexec", *args, "/qn"],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=300).returncode


def value(key, name=None):
    code, out = reg("query", key, *(["/v", name] if name else ["/ve"]), check=False)
    match = re.search(r"REG_\w+\s+(.*)", out) if code == 0 else None
    return match.group(1).strip() if match else None


def apps_and_features(msi):
    """The entry of the package's product: per user on Windows, where wine keeps it else."""
    product = dict(row[:2] for row in table(msi, "Property"))["ProductCode"]
    for root in ("HKCU", "HKLM"):
        key = rf"{root}\Software\Microsoft\Windows\CurrentVersion\Uninstall\{product}"
        if value(key, "DisplayName"):
            return tuple(value(key, name)
                         for name in ("DisplayName", "DisplayVersion", "Publisher"))
    return None


def digest(path):
    """The file's SHA-256; None when it is gone."""
    if not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def files():
    """The user's profile, every file and folder with its digest."""
    seen = {}
    for folder, dirs, names in os.walk(PROFILE):
        for name in dirs:
            seen[os.path.relpath(os.path.join(folder, name), PROFILE)] = "folder"
        for name in names:
            path = os.path.join(folder, name)
            if os.path.isfile(path):
                seen[os.path.relpath(path, PROFILE)] = digest(path)
    return seen


def registry():
    """HKCU as reg export writes it: one line per key and per value."""
    out = os.path.join(PREFIX, "drive_c", "hkcu.reg")
    wine("reg", "export", "HKCU", r"C:\hkcu.reg", "/y")
    with open(out, encoding="utf-16") as f:
        text = f.read().replace("\\\n  ", "")
    os.remove(out)
    return {line for line in text.splitlines() if line.strip()}


def differences(before, after):
    if isinstance(before, dict):
        return sorted(f"{'+' if k not in before else '-' if k not in after else '~'} {k}"
                      for k in before.keys() | after.keys() if before.get(k) != after.get(k))
    return sorted([f"- {line}" for line in before - after] +
                  [f"+ {line}" for line in after - before])


def table(msi, name):
    text = subprocess.run(["msiinfo", "export", msi, name], check=True, capture_output=True,
                          text=True).stdout
    return [line.split("\t") for line in text.splitlines()[3:]]


def packages():
    """This build's package, and the 32-bit one where that build lies beside this one."""
    found = [(ARCH, BUILD)]
    win32 = os.path.join(os.path.dirname(BUILD), "win32")
    if ARCH == "x64" and os.path.isfile(os.path.join(win32, "bin", "Netsorter.exe")):
        found.append(("x86", win32))
    return [build_msi(arch, build, VERSION) for arch, build in found]


class MsiTest(unittest.TestCase):
    def setUp(self):
        stop_any_program()

    def start_installed(self):
        program = Program(directory=INSTALLED)
        self.addCleanup(program.stop)
        program.wait_window()
        return program

    def test_install_upgrade_uninstall(self):
        # The newer version ships another countries.txt, which replaces the unedited one.
        stage = os.path.join(OUT, "newer")
        subprocess.run([os.path.join(REPO, "scripts", "stage"), BUILD, stage], check=True)
        with open(os.path.join(stage, "countries.txt"), "ab") as f:
            f.write(b"999\tXX,\xcd\xee\xe2\xe0\xff\r\n")
        older, newer = build_msi(ARCH, BUILD, VERSION), build_msi(ARCH, BUILD, NEWER, stage)
        files_before, registry_before = files(), registry()
        # The edited file the uninstall keeps would be "before" to the next run in this prefix.
        self.addCleanup(shutil.rmtree, INSTALLED, ignore_errors=True)

        self.assertEqual(msiexec("/i", older), 0)
        self.assertEqual(apps_and_features(older), ("Netsorter", VERSION, "Netsorter"))
        self.assertTrue(os.path.isfile(SHORTCUT))
        for key, expected in WRITTEN.items():
            self.assertEqual(value(key), expected, key)
        program = self.start_installed()
        for item, (key, name) in MENU_SETTINGS.items():
            driver("menu", item)
            wait_until(lambda: value(key, name), f"{name} under {key}")
        program.stop()
        with open(os.path.join(INSTALLED, "nets.txt"), "ab") as f:
            f.write(b"# \xcc\xee\xff \xf1\xe5\xf2\xfc\r\n10.20.30.0/24\r\n")  # cp1251
        os.makedirs(USER_DATA, exist_ok=True)
        with open(os.path.join(USER_DATA, "geo-whois-asn-country.mmdb"), "wb") as f:
            f.write(os.urandom(4096))
        kept = {path: digest(path) for path in (
            os.path.join(INSTALLED, "nets.txt"),
            os.path.join(USER_DATA, "geo-whois-asn-country.mmdb"))}
        settings = {key + "\\" + name: value(key, name) for key, name in MENU_SETTINGS.values()}

        self.assertEqual(msiexec("/i", newer), 0)
        self.assertEqual(apps_and_features(newer), ("Netsorter", NEWER, "Netsorter"))
        self.assertIsNone(apps_and_features(older))
        self.assertEqual({path: digest(path) for path in kept}, kept)
        self.assertEqual({key + "\\" + name: value(key, name)
                          for key, name in MENU_SETTINGS.values()}, settings)
        self.assertEqual(digest(os.path.join(INSTALLED, "countries.txt")),
                         digest(os.path.join(stage, "countries.txt")))

        self.start_installed()  # the uninstall ends it
        self.assertEqual(msiexec("/x", newer), 0)
        self.assertFalse(driver("wait-window", "0", check=False))
        file_changes = differences(files_before, files())
        registry_changes = differences(registry_before, registry())
        print("files, before install -> after uninstall:", *file_changes, sep="\n  ")
        print("HKCU, before install -> after uninstall:", *registry_changes or ["(none)"],
              sep="\n  ")
        # Windows' own per-user programs folder may stay, and wine's records of its own.
        self.assertEqual([c for c in file_changes if c != "+ AppData/Local/Programs"],
                         ["+ AppData/Local/Programs/Netsorter",
                          "+ AppData/Local/Programs/Netsorter/nets.txt"])
        self.assertEqual([c for c in registry_changes
                          if not c[2:].startswith("[HKEY_CURRENT_USER\\Software\\Wine\\")], [])

    def test_tables(self):
        """Per user without elevation, the shortcut, the refusal, the files, one upgrade code
        and the custom steps where they must run, in both architectures' packages."""
        upgrade_codes = set()
        for msi in packages():
            with self.subTest(msi=os.path.basename(msi)):
                self.assertNotIn("ALLUSERS", dict(row[:2] for row in table(msi, "Property")))
                summary = subprocess.run(["msiinfo", "suminfo", msi], capture_output=True,
                                         text=True, check=True).stdout
                word_count = int(re.search(r"^Source: (\d+)", summary, re.M).group(1))
                self.assertTrue(word_count & 8, "elevation asked for")
                [shortcut] = table(msi, "Shortcut")
                self.assertEqual((shortcut[1], shortcut[2].split("|")[-1], shortcut[8]),
                                 ("ProgramMenuFolder", "Netsorter - Проверка IP",
                                  "Netsorter.ico"))
                [refusal] = table(msi, "LaunchCondition")
                self.assertEqual(refusal[0], "NOT WIX_DOWNGRADE_DETECTED")
                self.assertIn("Установлена более новая версия Netsorter", refusal[1])
                names = {row[2].split("|")[-1] for row in table(msi, "File")}
                self.assertLessEqual({"Netsorter.exe", "netsorter-cli.exe", "netsorter-host.exe",
                                      "nets.txt", "netsorter-chrome.json"}, names)
                upgrade = table(msi, "Upgrade")
                upgrade_codes |= {row[0] for row in upgrade}
                self.assertEqual(sorted((row[1], row[2], row[4]) for row in upgrade),
                                 [("", VERSION, "1"), (VERSION, "", "2")])
                steps = {row[0]: row for row in table(msi, "InstallExecuteSequence")}
                for earlier, later in SEQUENCE:
                    self.assertLess(int(steps[earlier][2]), int(steps[later][2]),
                                    f"{earlier} before {later}")
                self.assertEqual(steps["CleanUp"][1], 'REMOVE="ALL" AND NOT UPGRADINGPRODUCTCODE')
                for row in table(msi, "Component"):
                    if row[5].startswith(("f_nets.txt", "f_countries.txt")):
                        self.assertEqual(int(row[3]) & (16 | 128), 16 | 128, row[5])
        self.assertEqual(len(upgrade_codes), 1)

    def test_signed(self):
        """With a certificate named, the package and the programs in it are signed."""
        work = tempfile.mkdtemp(dir=OUT)
        cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Netsorter test", "-keyout", key, "-out", cert],
                       check=True, capture_output=True)
        msi = build_msi(ARCH, BUILD, VERSION, signer={"NETSORTER_SIGN_CERT": cert,
                                                      "NETSORTER_SIGN_KEY": key})
        subprocess.run(["msiextract", "-C", work, msi], check=True, capture_output=True)
        extracted = {name: os.path.join(folder, name) for folder, _, names in os.walk(work)
                     for name in names}
        for path in (msi, extracted["Netsorter.exe"], extracted["netsorter-cli.exe"]):
            verified = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path],
                                      capture_output=True, text=True)
            self.assertIn("Signature verification: ok", verified.stdout, path)
        os.remove(msi)

    def test_downgrade_refused(self):
        older, newer = build_msi(ARCH, BUILD, VERSION), build_msi(ARCH, BUILD, NEWER)
        self.assertEqual(msiexec("/i", newer), 0)
        self.addCleanup(msiexec, "/x", newer)
        installed = digest(os.path.join(INSTALLED, "Netsorter.exe"))
        # ERROR_INSTALL_FAILURE (1603), as much of it as a Unix exit status keeps.
        self.assertEqual(msiexec("/i", older), 1603 & 0xFF)
        self.assertEqual(digest(os.path.join(INSTALLED, "Netsorter.exe")), installed)


if __name__ == "__main__":
    unittest.main()
