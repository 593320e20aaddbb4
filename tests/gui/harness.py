"""Runs the real Netsorter.exe under wine and works it through nsdriver.exe.

Every test runs inside scripts/with-wine (a display, a private prefix in the Russian locale,
hermetic name resolution); ctest starts it so. Waits poll with a deadline, never sleep blindly.
"""
import json
import os
import shutil
import subprocess
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", ".."))
WINE_RUN = os.path.join(REPO, "scripts", "wine-run")
BIN = os.environ.get("NETSORTER_BIN", "")  # the build's bin directory (set by ctest)
DEADLINE = float(os.environ.get("NETSORTER_DEADLINE", "30"))


def run_captured(command, timeout=120, input=None, env=None):
    """subprocess.run with the output captured in files, not pipes: the first wine program in
    a prefix starts wine's background processes (wineserver, the desktop), which inherit the
    output and would keep a pipe open, so that reading it to its end hangs."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        result = subprocess.run(command, stdout=out, stderr=err, timeout=timeout, input=input,
                                env=env)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(command, result.returncode, out.read(), err.read())


def wine(*args, check=True, timeout=120, input=None):
    """Runs a Windows program (or wine's own, e.g. "reg") and returns its stdout as text."""
    result = run_captured([WINE_RUN, *args], timeout=timeout, input=input)
    if check and result.returncode != 0:
        raise AssertionError(f"{args} exited {result.returncode}: {result.stderr.decode(errors='replace')}")
    return result.stdout.decode("utf-8", errors="replace")


def wait_until(probe, what, timeout=DEADLINE, interval=0.1):
    """Polls probe() until it returns a true value; fails the test after the deadline."""
    end = time.monotonic() + timeout
    last = None
    while time.monotonic() < end:
        try:
            last = probe()
            if last:
                return last
        except (AssertionError, subprocess.SubprocessError, ValueError):
            pass
        time.sleep(interval)
    raise AssertionError(f"timed out waiting for {what} (last: {last!r})")


def driver(*args, check=True):
    return wine(os.path.join(BIN, "nsdriver.exe"), *args, check=check).strip()


def reg(*args, check=True):
    """wine reg ADD/QUERY/DELETE ..."""
    result = run_captured([WINE_RUN, "reg", *args])
    if check and result.returncode != 0:
        raise AssertionError(f"reg {args}: {result.stderr.decode(errors='replace')}")
    return result.returncode, result.stdout.decode("utf-8", errors="replace")


def install_copy(exe_name="Netsorter.exe", data=("nets.txt", "countries.txt", "GeoIP.dat")):
    """A private install directory holding the program (under exe_name) and the data files."""
    where = tempfile.mkdtemp(prefix="netsorter-")
    shutil.copy(os.path.join(BIN, "Netsorter.exe"), os.path.join(where, exe_name))
    for name in data:
        shutil.copy(os.path.join(BIN, name), where)
    return where


class Program:
    """One running Netsorter.exe."""

    def __init__(self, *args, directory=None, exe_name="Netsorter.exe"):
        self.directory = directory or BIN
        self.exe = os.path.join(self.directory, exe_name)
        self.process = subprocess.Popen([WINE_RUN, self.exe, *args],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_window(self):
        wait_until(lambda: driver("wait-window", "1000", check=False), "the main window")

    def state(self):
        return json.loads(driver("state"))

    def boxes(self):
        return json.loads(driver("boxes"))

    def check(self, address):
        driver("set-address", address)
        driver("check")

    def wait_boxes(self, expected, timeout=DEADLINE):
        """Waits until every named box holds the expected text."""
        def short(boxes):
            return {k: v if len(v) <= 80 else f"{v[:40]}... ({len(v)} characters)"
                    for k, v in boxes.items()}
        seen = []

        def probe():
            seen[:] = [self.boxes()]
            return seen[0] if all(seen[0][k] == v for k, v in expected.items()) else None
        try:
            return wait_until(probe, f"boxes {short(expected)}", timeout=timeout)
        except AssertionError as e:
            raise AssertionError(f"{e}; last seen: {short(seen[0]) if seen else None}") from None

    def wait_exit(self, timeout=DEADLINE):
        return self.process.wait(timeout=timeout)

    def stop(self):
        if self.process.poll() is None:
            driver("menu", "Файл/Выход", check=False)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def screenshot(path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run(["import", "-window", "root", path], check=True, timeout=60)


class GuiTestCase(unittest.TestCase):
    """Ends every program a test started, even when the test fails."""

    def setUp(self):
        self.programs = []

    def start(self, *args, **kwargs):
        program = Program(*args, **kwargs)
        self.programs.append(program)
        program.wait_window()
        return program

    def tearDown(self):
        for program in self.programs:
            program.stop()


# Desktop integration helpers: the registry as the program sees it, wine's own programs.

def reg_key(path):
    """A registry key as nsdriver reads it ({"values": {name: [type, data]}, "subkeys": [...]}),
    or None when the key does not exist. path starts with HKCU, HKLM or HKCR."""
    return json.loads(driver("reg", path))


def win_path(path):
    """The name by which Windows programs under wine know a file of this machine."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def cscript(script, timeout=120):
    """Runs a VBScript file with wine's cscript and returns its output lines. cscript exits
    with 0 even when the script does not compile, so callers look for an expected line."""
    # A file, not a pipe: a program that the script starts (the automation server) would
    # hold a pipe open for as long as it runs.
    with tempfile.TemporaryFile() as out:
        subprocess.run([WINE_RUN, "cscript", "//nologo", win_path(script)], stdout=out,
                       stderr=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        # Console output of wine's programs is in the OEM code page of the Russian locale.
        return out.read().decode("cp866", errors="replace").splitlines()


def window_exists():
    """Whether a Netsorter main window exists now."""
    return run_captured([WINE_RUN, os.path.join(BIN, "nsdriver.exe"), "wait-window",
                         "0"]).returncode == 0


def stop_any_program():
    """Ends a Netsorter that no Program object started (the automation service starts one)."""
    for _ in range(5):
        if not window_exists():
            return
        driver("menu", "Файл/Выход", check=False)
        driver("wait-gone", "15000", check=False)
    raise AssertionError("a Netsorter window stays open")


# Main window and tray helpers: the shell's windows, and wine's virtual desktop, whose
# window frames and taskbar make screenshots look as they would on Windows.

ARTIFACTS = os.environ.get("NETSORTER_ARTIFACTS") or os.path.join(BIN, "..", "artifacts")


def driver_in(desktop, *args, check=True):
    """nsdriver working in the named desktop (None: the default one)."""
    env = dict(os.environ, NSDRIVER_DESKTOP=desktop or "")
    result = run_captured([WINE_RUN, os.path.join(BIN, "nsdriver.exe"), *args], env=env)
    if check and result.returncode != 0:
        raise AssertionError(f"nsdriver {args} exited {result.returncode}: "
                             f"{result.stderr.decode(errors='replace')}")
    return result.stdout.decode("utf-8", errors="replace").strip()


def visible_windows(desktop=None):
    """Every visible top-level window: [{"class", "text", "pid", "rect"}]."""
    return json.loads(driver_in(desktop, "windows"))


def standalone_tray_shown():
    """Outside a virtual desktop wine shows its own tray window exactly while it holds icons."""
    return any(w["class"] == "__winex11_standalone_tray" for w in visible_windows())


def popup_menu_of(pid, desktop=None):
    """The open popup menu of that process, or None."""
    return next((w for w in visible_windows(desktop) if w["class"] == "#32768" and w["pid"] == pid),
                None)


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, timeout=60)


def ensure_caption_font():
    """Wine draws the caption buttons with Marlett; a fresh prefix may not find it, and the
    buttons then show as letters."""
    prefix = os.environ.get("WINEPREFIX")
    source = "/usr/share/wine/fonts/marlett.ttf"
    if prefix and os.path.exists(source):
        fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
        os.makedirs(fonts, exist_ok=True)
        if not os.path.exists(os.path.join(fonts, "marlett.ttf")):
            shutil.copy(source, fonts)


def bmp_to_png(bmp, png, crop=None):
    """crop: (left, top, right, bottom) in the picture."""
    os.makedirs(os.path.dirname(os.path.abspath(png)), exist_ok=True)
    command = ["convert", bmp]
    if crop:
        left, top, right, bottom = crop
        command += ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage"]
    subprocess.run([*command, png], check=True, timeout=60)


def stable_shot(png, rect, desktop=None, attempts=20):
    """A screenshot of rect once the picture stops changing (the last paint has landed)."""
    work = tempfile.mkdtemp(prefix="netsorter-shot-")
    try:
        last = None
        for n in range(attempts):
            bmp = os.path.join(work, f"{n}.bmp")
            driver_in(desktop, "shot", win_path(bmp), *map(str, rect))
            with open(bmp, "rb") as f:
                data = f.read()
            if data == last:
                bmp_to_png(bmp, png)
                return png
            last = data
            time.sleep(0.2)
        raise AssertionError(f"the screen did not settle for {png}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


class DesktopProgram(Program):
    """Netsorter.exe in a wine virtual desktop of its own (with a taskbar and tray), worked
    by the driver inside that desktop."""

    def __init__(self, *args, name="Netsorter", size="640x400", directory=None,
                 exe_name="Netsorter.exe"):
        ensure_caption_font()
        reg("add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", name, "/d", size, "/f")
        self.desktop = name
        self.size = size
        self.directory = directory or BIN
        self.exe = os.path.join(self.directory, exe_name)
        self.process = subprocess.Popen([WINE_RUN, "explorer", f"/desktop={name},{size}",
                                         self.exe, *args],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def driver(self, *args, check=True):
        return driver_in(self.desktop, *args, check=check)

    def wait_window(self):
        wait_until(lambda: self.driver("wait-window", "1000", check=False), "the main window")

    def state(self):
        return json.loads(self.driver("state"))

    def boxes(self):
        return json.loads(self.driver("boxes"))

    def check(self, address):
        self.driver("set-address", address)
        self.driver("check")

    def stop(self):
        if self.process.poll() is None:
            self.driver("menu", "Файл/Выход", check=False)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
