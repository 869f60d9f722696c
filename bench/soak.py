#!/usr/bin/env python3
"""A soak run of the real monitor: 8 meters at a planing line's full rate, the OPC console stand-in starting
a new package every 30 seconds, for ten minutes (or as long as asked).

At the end it reports, per device, the boards the meter simulator sent, the boards the monitor counted (the
sum of its package files) and whether every package file parses whole with its count and bins agreeing
with its values; and the monitor's resident memory at the start, the middle and the end.

    needs a display: DISPLAY=:N python3 bench/soak.py [--minutes 10] [--devices 8] [--rate 5]
    VUR_BIN_DIR (default build/bin) names the folder of vur, vur-meter-sim and the console stand-in.

Not part of CI: it runs for minutes to hours. Exit status 0 when every board sent is in a package file.
"""

import argparse
import os
import re
import string
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import Sandbox, binary, write_config  # noqa: E402


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def package_files(folder):
    """Every package file under folder (not the run summaries, which end in 000.mc)."""
    for root, _, files in os.walk(folder):
        for name in sorted(files):
            if re.fullmatch(r"\d+_\d{3,}\d{3,}\.mc", name) and not name.endswith("000.mc"):
                yield os.path.join(root, name)


def check_package(path):
    """The board count of a package file, or an error text when it does not parse whole."""
    with open(path, "rb") as f:
        text = f.read().decode(errors="replace")
    lines = text.split("\r\n")
    if len(lines) != 3 or lines[2] != "":
        return "%s: %d lines" % (path, len(lines))
    head = lines[0].split(",")
    values = [float(v) for v in lines[1].split(",")[:-1]]
    if int(head[0]) != len(values):
        return "%s: count %s, %d values" % (path, head[0], len(values))
    bins = [0] * 17
    for v in values:
        bins[0 if v < 9 else 16 if v >= 24 else int(v) - 8] += 1
    if [int(b) for b in head[1:18]] != bins:
        return "%s: bins disagree with the values" % path
    return len(values)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--minutes", type=float, default=10.0)
    parser.add_argument("--devices", type=int, default=8)
    parser.add_argument("--rate", type=float, default=5.0, help="boards a second per meter (300 a minute: 5)")
    parser.add_argument("--package-seconds", type=int, default=30)
    args = parser.parse_args()

    seconds = args.minutes * 60
    prefixes = list(string.ascii_lowercase[:args.devices])
    count = int(seconds * args.rate)
    box = Sandbox("soak")
    try:
        meters = {}
        for p in prefixes:
            proc = subprocess.Popen([binary("vur-meter-sim"), "--pty", "--full", "--rate", str(args.rate), "--count", str(count),
                                     "--wait-open"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            box.processes.append(proc)
            line = proc.stdout.readline().strip()
            if not line.startswith("PTY "):
                raise SystemExit("meter simulator said %r" % line)
            meters[p] = (proc, line[4:])

        cfg = dict(get_version_number="FALSE", get_motd="FALSE", warn_if_package_contains_too_many_boards="FALSE",
                   output_directory=os.path.join(box.records, "%Y"),
                   opc_url="sim:?pkg_seconds=%d&pkgs_per_run=10&kiln=1&run=1&pkg=1" % args.package_seconds)
        for p in prefixes:
            cfg.update({p + "_device": meters[p][1], p + "_name": "Meter " + p, p + "_run_simulation": "false",
                        p + "_output_directory": os.path.join(box.records, p, "%Y")})
        write_config(box.cfg_file, cfg)

        vur = box.start_vur()
        box.wait_for_log(r"device=\S+ Baud=", timeout=60, count=len(prefixes))
        started = time.time()
        memory = [("start", resident_kib(vur.pid))]
        print("%d devices, %d boards each at %.1f boards/s, a package every %d s, %.1f minutes"
              % (len(prefixes), count, args.rate, args.package_seconds, args.minutes), flush=True)
        time.sleep(seconds / 2)
        memory.append(("middle", resident_kib(vur.pid)))
        time.sleep(max(0.0, started + seconds - time.time()) + 5)
        memory.append(("end", resident_kib(vur.pid)))

        if box.stop(vur, timeout=60) != 0:
            print("vur did not end with status 0")
        failures = 0
        for p, (proc, _) in meters.items():
            _, err = proc.communicate(timeout=60)
            m = re.search(r"sent (\d+) boards", err)
            sent = int(m.group(1)) if m else None
            counted, packages, broken = 0, 0, []
            for path in package_files(os.path.join(box.records, p)):
                result = check_package(path)
                if isinstance(result, int):
                    counted += result
                    packages += 1
                else:
                    broken.append(result)
            ok = sent is not None and counted == sent and not broken
            failures += 0 if ok else 1
            print("device %s: sent %s, counted %d in %d package files%s%s"
                  % (p, sent, counted, packages, "" if ok else "  <-- MISMATCH", "".join("\n  " + b for b in broken)))
        print("resident memory: " + ", ".join("%s %.1f MiB" % (when, kib / 1024.0) for when, kib in memory))
        log = box.log()
        print("log: %d time overflow lines, %d purge lines, %d errors"
              % (log.count("time overflow"), log.count("purging long/invalid"), log.count("An error occurred.")))
        return 0 if failures == 0 else 1
    finally:
        box.close()


if __name__ == "__main__":
    sys.exit(main())
