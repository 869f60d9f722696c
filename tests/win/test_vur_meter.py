#!/usr/bin/env python3
"""vur.exe under Wine counts the boards a meter sends on a COM port into the right package and writes the
package's record files byte for byte, with CR LF line ends.

    tests/win/test_vur_meter.py BUILD_DIR [ARTIFACT_DIR]

The meter is vur-meter-sim.exe playing a known list of readings on the second of two COM ports joined back
to back ($VUR_TEST_COM_PAIR, set up by tests/win/run-suite.sh); the monitor reads the first. The kiln, run
and package numbers come through the OPC console stand-in (vur-opc-sim.exe beside vur.exe, as installed,
named in the configuration) relaying a text file. Leaves a screenshot of the main window with its chart in
ARTIFACT_DIR.
"""

import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import write_config  # noqa: E402
from test_records import _values, package_text, summary_text  # noqa: E402
from winharness import (WINDOW_TITLE, close_window, lines_in_order, read, run_test, screenshot,  # noqa: E402
                        start_vur, wait_for, wine_temp_folder, window_ids, windows_path)

KILN, RUN, PKG = 6, 11, 5   # what the relay says
SAVED = 1, 1, 1             # what the configuration holds from before: the files must not land there
BOARDS = _values(100, 3)   # the package file is written at every hundredth board: the log says when
RATE = 50                  # boards per second


def main():
    build = os.path.abspath(sys.argv[1])
    artifacts = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(build, "artifacts"))
    os.makedirs(artifacts, exist_ok=True)
    exe = os.path.join(build, "bin", "vur.exe")
    reader_port, meter_port = os.environ.get("VUR_TEST_COM_PAIR", "COM8 COM9").split()

    log_file = os.path.join(wine_temp_folder(), "vur.log")
    if os.path.exists(log_file):
        os.remove(log_file)

    sandbox = tempfile.mkdtemp(prefix="vur-win-meter-", dir=os.environ.get("VUR_TEST_ROOT"))
    config_dir = os.path.join(sandbox, "cfg")
    records = os.path.join(sandbox, "records")
    os.makedirs(config_dir)
    relay = os.path.join(sandbox, "relay.txt")
    with open(relay, "w") as f:
        f.write("N75:3=%d\nN75:4=%d\nN75:5=%d\n" % (KILN, RUN, PKG))
    boards_file = os.path.join(sandbox, "boards.txt")
    with open(boards_file, "w") as f:
        f.write("".join("%04.1f\t%04.1f\n" % (v + 0.4, v) for v in BOARDS))

    write_config(os.path.join(config_dir, "DuvidudUvereverOzure.cfg"), dict(
        get_version_number="FALSE", get_motd="FALSE", VODAze="40 40 900 600",
        opc_console_application="vur-opc-sim.exe", opc_url="file:///" + windows_path(relay).replace("\\", "/"),
        output_directory=windows_path(records) + "\\%Y\\",
        a_device=reader_port, a_name="Planer", a_run_simulation="false", a_interval_ms="50",
        a_read_len="110", a_chart_redraw_ms="200", a_last_kiln=SAVED[0], a_last_run=SAVED[1], a_last_pkg=SAVED[2]))
    env = dict(os.environ, VUR_CONFIG_DIR=windows_path(config_dir), VUR_WEB_BASE_URL="http://127.0.0.1:9")

    year = str(time.localtime().tm_year)
    package_name = "%d_%03d%03d.mc" % (KILN, RUN, PKG)
    proc = start_vur(exe, env, os.path.join(artifacts, "win-vur-meter-stdout.txt"))
    meter = None
    try:
        window = wait_for("window \"%s\"" % WINDOW_TITLE, window_ids, 180, proc)[0]
        wait_for("the port opened in the log", lambda: re.search(r"device=%s Baud=" % reader_port, read(log_file)),
                 60, proc)
        # The numbers come through the console stand-in and its relay, not from the configuration.
        wait_for("the relay's numbers in force", lambda: re.search(
            r"prefix=a: -> updated k=%d r=%d p=%d" % (KILN, RUN, PKG), read(log_file)), 60, proc)
        meter = subprocess.Popen(["wine", os.path.join(build, "bin", "vur-meter-sim.exe"), meter_port,
                                  "--file", windows_path(boards_file), "--start", "1", "--rate", str(RATE),
                                  "--count", str(len(BOARDS))],
                                 stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        sent = meter.communicate(timeout=120)[0]
        wait_for("the package file of %d boards" % len(BOARDS),
                 lambda: re.search(r"prefix=a: writing %d boards to .*%s" % (len(BOARDS), re.escape(package_name)),
                                   read(log_file)), 60, proc)
        time.sleep(1.5)   # a few chart refreshes before the picture
        screenshot(os.path.join(artifacts, "win-vur-meter.png"))
        close_window(window)
        code = proc.wait(timeout=120)
    finally:
        for p in (proc, meter):
            if p is not None and p.poll() is None:
                p.kill()
                p.wait()
        if os.path.exists(log_file):
            shutil.copy(log_file, os.path.join(artifacts, "win-vur-meter.log"))

    def record(name):
        try:
            with open(os.path.join(records, year, name), "rb") as f:
                return f.read().decode()
        except FileNotFoundError:
            return None

    log = read(log_file)
    failures = []
    if code != 0:
        failures.append("exit code %s, not 0" % code)
    if "sent %d boards" % len(BOARDS) not in sent:
        failures.append("the meter simulator said: %s" % sent.strip())
    if "An error occurred." in log:
        failures.append("an error was reported; see win-vur-meter.log")
    missing = lines_in_order(log, ["device=%s, str=" % reader_port, "shutting down Dadovir Moisture Measurement",
                                   "prefix=a: detected shutdown signal",
                                   "prefix=a: device thread for \"Planer\" on %s is exiting" % reader_port])
    if missing:
        failures.append("the log lacks \"%s\" in its place" % missing)
    for name, expected in ((package_name, package_text(BOARDS)),
                           ("%d_%03d000.mc" % (KILN, RUN), summary_text(BOARDS))):
        found = record(name)
        if found != expected:
            failures.append("%s is %r,\n    not %r" % (name, found if found is None else found[:300], expected[:300]))
    # The board history, on by default beside the yearly record folders: every board, in the order counted.
    history = os.path.join(records, "boards.sqlite")
    stored = None
    if os.path.exists(history):
        db = sqlite3.connect(history)
        try:
            stored = [v for (v,) in db.execute("SELECT value FROM boards WHERE prefix = 'a' AND kiln = ? AND run = ?"
                                               " AND package = ? ORDER BY id", (KILN, RUN, PKG))]
            integrity = db.execute("PRAGMA integrity_check").fetchone()[0]
        finally:
            db.close()
        if integrity != "ok":
            failures.append("the board history fails its integrity check: %s" % integrity)
    if stored != [float(v) for v in BOARDS]:
        failures.append("the board history %s holds %r, not the %d boards sent"
                        % (history, stored if stored is None else stored[:10], len(BOARDS)))
    saved_package = "%d_%03d%03d.mc" % SAVED
    if record(saved_package) not in (None, package_text([])):
        failures.append("boards went into %s, under the numbers saved before the relay's" % saved_package)
    if not os.environ.get("VUR_KEEP_TEST_FILES"):
        shutil.rmtree(sandbox, ignore_errors=True)
    if failures:
        print("FAILED: vur.exe reading a meter on %s:\n  %s" % (reader_port, "\n  ".join(failures)))
        return 1
    print("passed: vur.exe counted %d boards from %s into %s, written with CR LF line ends, and into its board "
          "history" % (len(BOARDS), reader_port, package_name))
    return 0


if __name__ == "__main__":
    run_test(main, "vur.exe reading a meter")
