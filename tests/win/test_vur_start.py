#!/usr/bin/env python3
"""vur.exe under Wine reaches its main window and shuts down in order when the window is asked to close;
the configuration it writes holds the Windows defaults of the settings that name Windows places.

    tests/win/test_vur_start.py BUILD_DIR [ARTIFACT_DIR]

Runs in the Wine session that tests/win/run-suite.sh prepares (WINEPREFIX, a persistent wineserver,
DISPLAY on Xvfb). The configuration goes to a fresh folder; the log is vur.log in Wine's temporary folder.
Leaves a screenshot of the main window in ARTIFACT_DIR.
"""

import os
import shutil
import sys
import tempfile
import time
import xml.etree.ElementTree

from winharness import (WINDOW_TITLE, close_window, lines_in_order, read, run_test, screenshot,
                        start_vur, wait_for, wine_temp_folder, window_ids, windows_path)


def read_settings(path):
    """The name -> value entries of the configuration file (JUCE's XML properties file)."""
    try:
        root = xml.etree.ElementTree.parse(path).getroot()
    except (FileNotFoundError, xml.etree.ElementTree.ParseError):
        return {}
    return {value.get("name"): value.get("val") for value in root.iter("VALUE")}


def main():
    build = os.path.abspath(sys.argv[1])
    artifacts = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(build, "artifacts"))
    os.makedirs(artifacts, exist_ok=True)
    exe = os.path.join(build, "bin", "vur.exe")

    log_file = os.path.join(wine_temp_folder(), "vur.log")
    if os.path.exists(log_file):
        os.remove(log_file)

    sandbox = tempfile.mkdtemp(prefix="vur-win-start-", dir=os.environ.get("VUR_TEST_ROOT"))
    config_dir = os.path.join(sandbox, "cfg")
    os.makedirs(config_dir)
    env = dict(os.environ)
    # The web checks fail at once against a closed loopback port.
    env.update(VUR_CONFIG_DIR=windows_path(config_dir), VUR_WEB_BASE_URL="http://127.0.0.1:9")

    proc = start_vur(exe, env, os.path.join(artifacts, "win-vur-stdout.txt"))
    try:
        wait_for("\"starting the main window\" in %s" % log_file,
                 lambda: "starting the main window" in read(log_file), 180, proc)
        window = wait_for("window \"%s\"" % WINDOW_TITLE, window_ids, 60, proc)[0]
        time.sleep(2)   # let the tabs paint before the picture
        screenshot(os.path.join(artifacts, "win-vur-main-window.png"))
        close_window(window)
        code = proc.wait(timeout=120)
        settings = read_settings(os.path.join(config_dir, "DuvidudUvereverOzure.cfg"))
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        if os.path.exists(log_file):
            shutil.copy(log_file, os.path.join(artifacts, "win-vur.log"))
        if not os.environ.get("VUR_KEEP_TEST_FILES"):
            shutil.rmtree(sandbox, ignore_errors=True)

    log = read(log_file)
    lines = [line for line in log.splitlines() if line.strip()]
    failures = []
    if code != 0:
        failures.append("exit code %s, not 0" % code)
    # In this order; after the shutdown line only the teardown (threads, windows) writes.
    expected = ["starting Dadovir Moisture Measurement", "starting the main window", 'running job #5: "shutdown"',
                "shutting down Dadovir Moisture Measurement"]
    missing = lines_in_order(log, expected)
    if missing:
        failures.append("the log lacks \"%s\" in its place; it ends:\n%s" % (missing, "\n".join(lines[-15:])))
    # The Windows defaults of the settings that name Windows places.
    for key, value in (("output_directory", "C:\\22m2k\\data\\%Y\\boardmc\\"),
                       ("opc_console_application", "OPCConsole.exe")):
        if settings.get(key) != value:
            failures.append("%s is %r, not %r" % (key, settings.get(key), value))
    if failures:
        print("FAILED: vur.exe start and close:\n  " + "\n  ".join(failures))
        return 1
    print("passed: vur.exe reached its main window and shut down in order (exit code 0)")
    return 0


if __name__ == "__main__":
    run_test(main, "vur.exe start and close")
