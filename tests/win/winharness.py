"""What the Wine tests share: path conversion, waiting on the program's log, its main window and a picture
of it. They run in the Wine session that tests/win/run-suite.sh prepares (WINEPREFIX, a persistent
wineserver, DISPLAY on Xvfb)."""

import os
import re
import subprocess
import sys
import time

WINDOW_TITLE = "VUR v1.0.0-2718"


def wine_output(*args):
    out = subprocess.run(["wine"] + list(args), capture_output=True, text=True, timeout=60,
                         stdin=subprocess.DEVNULL)
    return out.stdout.strip()


def windows_path(unix_path):
    return subprocess.run(["winepath", "-w", unix_path], capture_output=True, text=True,
                          timeout=60).stdout.strip()


def unix_path(win_path):
    return subprocess.run(["winepath", "-u", win_path], capture_output=True, text=True,
                          timeout=60).stdout.strip()


def wine_temp_folder():
    """Wine's temporary folder as a Unix path: where vur.exe keeps its log."""
    return unix_path(wine_output("cmd", "/c", "echo %TEMP%"))


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""


def wait_for(what, predicate, timeout, proc):
    """The first true value of predicate() within timeout seconds; fails early when proc has ended."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        if proc.poll() is not None:
            raise AssertionError("vur.exe ended with %s while waiting for %s" % (proc.returncode, what))
        time.sleep(0.2)
    raise AssertionError("no %s within %d s" % (what, timeout))


def window_ids():
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + re.escape(WINDOW_TITLE) + "$"],
                         capture_output=True, text=True)
    return out.stdout.split()


def screenshot(path):
    subprocess.run(["import", "-window", "root", path], check=False, timeout=60)


def close_window(window):
    """Alt+F4 is Windows' own close request: Wine turns it into WM_SYSCOMMAND SC_CLOSE, then WM_CLOSE."""
    subprocess.run(["xdotool", "windowfocus", "--sync", window], check=False, timeout=30)
    subprocess.run(["xdotool", "key", "--window", window, "alt+F4"], check=False, timeout=30)


def start_vur(exe, env, stdout_path):
    return subprocess.Popen(["wine", exe], env=env, cwd=os.path.dirname(exe), stdin=subprocess.DEVNULL,
                            stdout=open(stdout_path, "w"), stderr=subprocess.STDOUT)


def run_test(main, title):
    """Runs main() as the test's program: its return value is the exit status; a failed wait fails the test."""
    try:
        sys.exit(main())
    except (AssertionError, subprocess.TimeoutExpired) as e:
        print("FAILED: %s: %s" % (title, e))
        sys.exit(1)


def lines_in_order(log, expected):
    """The first of expected that log lacks after the ones before it, or None."""
    position = 0
    for line in expected:
        found = log.find(line, position)
        if found < 0:
            return line
        position = found + len(line)
    return None
