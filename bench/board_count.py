#!/usr/bin/env python3
"""Boards counted by the real monitor against boards sent, with every meter at its full line rate.

Starts one meter simulator per device on its own pseudo-terminal, sending back to back at the line speed
(9600 baud: about 87 lines of 11 bytes a second), runs the monitor on them, and compares, per device, the
boards the monitor wrote into its final package file with the boards the simulator sent. A ratio below
1.000 is lost boards. The board history (on by default) must hold every board sent as well.

Each simulator is given the number of boards that fills the run time and keeps its terminal open until the
monitor lets go of it, so the last lines are not cut off by a closing terminal.

    needs a display: DISPLAY=:N python3 bench/board_count.py [--seconds 60] [--devices 8]
    VUR_BIN_DIR (default build/bin) names the folder of vur and vur-meter-sim.
"""

import argparse
import os
import re
import sqlite3
import string
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import Sandbox, binary, write_config  # noqa: E402

LINE_BYTES = 11  # "14.8\t14.2\r\n"


def start_meter(box, count, baud):
    proc = subprocess.Popen([binary("vur-meter-sim"), "--pty", "--full", "--baud", str(baud), "--count", str(count),
                             "--wait-open"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    box.processes.append(proc)
    line = proc.stdout.readline().strip()
    if not line.startswith("PTY "):
        raise SystemExit("meter simulator said %r" % line)
    return proc, line[4:]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seconds", type=float, default=float(os.environ.get("VUR_BENCH_SECONDS", "60")))
    parser.add_argument("--devices", type=int, default=8)
    parser.add_argument("--baud", type=int, default=9600)
    parser.add_argument("--interval-ms", type=int, default=250)
    # The shipped read length: a pass reads again while a read fills the buffer, so 11 bytes keep up too.
    parser.add_argument("--read-len", type=int, default=11)
    args = parser.parse_args()

    prefixes = list(string.ascii_lowercase[:args.devices])
    lines_per_second = args.baud / 10.0 / LINE_BYTES
    count = int(args.seconds * lines_per_second)

    box = Sandbox("boards")
    try:
        meters = {p: start_meter(box, count, args.baud) for p in prefixes}
        cfg = dict(get_version_number="FALSE", get_motd="FALSE", warn_if_package_contains_too_many_boards="FALSE",
                   output_directory=os.path.join(box.records, "%Y"))
        for p in prefixes:
            cfg.update({p + "_device": meters[p][1], p + "_name": "Meter " + p, p + "_interval_ms": args.interval_ms,
                        p + "_read_len": args.read_len, p + "_run_simulation": "false",
                        # Record files are named by kiln, run and package only: one folder per device.
                        p + "_output_directory": os.path.join(box.records, p, "%Y")})
        write_config(box.cfg_file, cfg)

        vur = box.start_vur()
        box.wait_for_log(r"device=\S+ Baud=", timeout=60, count=len(prefixes))
        started = time.time()
        print("%d devices, %d boards each at %.1f boards/s (%d baud), read_len %d, interval %d ms"
              % (len(prefixes), count, lines_per_second, args.baud, args.read_len, args.interval_ms), flush=True)

        # The simulators pace themselves by the line speed: leave them time to finish, then a few passes for
        # the monitor to take the last lines (an idle read lasts 10 ms a byte of the buffer).
        time.sleep(args.seconds + 1 + 3 * args.interval_ms / 1000.0 + 10 * args.read_len / 1000.0)

        if box.stop(vur, timeout=60) != 0:
            print("vur did not end with status 0")
        sent = {}
        for p, (proc, _) in meters.items():
            _, err = proc.communicate(timeout=30)
            m = re.search(r"sent (\d+) boards", err)
            sent[p] = int(m.group(1)) if m else None

        log = box.log()
        counted = {}
        for p, n in re.findall(r"prefix=(\w+): writing (\d+) boards to ", log):
            counted[p] = int(n)  # the last one is the final package file, written as the thread ends
        on_disk = {}
        for p in prefixes:
            for root, _, files in os.walk(os.path.join(box.records, p)):
                for name in files:
                    if name.endswith("001.mc"):
                        with open(os.path.join(root, name)) as f:
                            on_disk[p] = int(f.readline().split(",")[0])

        # The board history (on by default, beside the yearly record folders) holds every counted board too.
        in_history = {}
        history = os.path.join(box.records, "boards.sqlite")
        if os.path.exists(history):
            db = sqlite3.connect(history)
            in_history = dict(db.execute("SELECT prefix, count(*) FROM boards GROUP BY prefix").fetchall())
            db.close()

        worst = None
        for p in prefixes:
            ratio = (counted.get(p, 0) / sent[p]) if sent[p] else 0.0
            history_ratio = (in_history.get(p, 0) / sent[p]) if sent[p] else 0.0
            worst = min(ratio, history_ratio) if worst is None else min(worst, ratio, history_ratio)
            print("device %s: sent %s, counted %s, in package file %s, in board history %s, ratio %.3f"
                  % (p, sent[p], counted.get(p), on_disk.get(p), in_history.get(p), ratio))
        print("overflow lines: %d, purge lines: %d" % (log.count("time overflow"), log.count("purging long/invalid")))
        print("boards counted and stored / boards sent (worst device): %.3f" % worst)
        return 0 if worst == 1.0 else 1
    finally:
        box.close()


if __name__ == "__main__":
    sys.exit(main())
