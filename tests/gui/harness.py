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


def wine(*args, check=True, timeout=120, input=None):
    """Runs a Windows program (or wine's own, e.g. "reg") and returns its stdout as text."""
    result = subprocess.run([WINE_RUN, *args], capture_output=True, timeout=timeout, input=input)
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
    result = subprocess.run([WINE_RUN, "reg", *args], capture_output=True, timeout=120)
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

    def wait_boxes(self, expected):
        """Waits until every named box holds the expected text."""
        return wait_until(lambda: (lambda b: b if all(b[k] == v for k, v in expected.items()) else None)(
            self.boxes()), f"boxes {expected}")

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
