#!/usr/bin/env python3
"""Processor time of the real monitor with its devices connected and silent, as a fraction of one core.

Opens one pseudo-terminal per device and never writes to it, runs the monitor on them with the shipped
per-device defaults (250 ms passes, 11-byte reads, a 1000 ms refresh), lets it settle, and reads the
process's user and system time from /proc over the measuring period, in all and by thread (message thread,
the framework's timer thread, the reading threads). Then measures the same configuration with every port
missing, so that the reading threads end at once: the difference is what reading silent meters costs.
Last, an empty framework window of the same size (vur_bench_bare_window) on the same display: the
framework's own idle load, mostly its repaint pacing at the display's refresh rate (100 Hz where the display
reports none, as Xvfb). The monitor's own share is the first figure less this one.

    needs a display: DISPLAY=:N python3 bench/idle_cpu.py [--seconds 30] [--devices 8] [--rounds 1]
    VUR_BIN_DIR (default build/bin) names the folder of vur and vur_bench_bare_window.
"""

import argparse
import os
import statistics
import pty
import string
import subprocess
import sys
import termios
import time
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import BIN_DIR, Sandbox, write_config  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")


def cpu_ticks(stat_path):
    with open(stat_path) as f:
        text = f.read()
    fields = text[text.rindex(")") + 2:].split()
    return int(fields[11]) + int(fields[12])  # utime, stime


def thread_ticks(pid):
    result = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
                name = f.read().strip()
            result[tid] = (name, cpu_ticks("/proc/%d/task/%s/stat" % (pid, tid)))
        except OSError:
            pass
    return result


def measure(prefixes, seconds, settle, missing_ports, overrides=()):
    """Processor seconds of the whole process and by thread role over the measuring period."""
    box = Sandbox("idle")
    masters = []
    try:
        cfg = dict(get_version_number="FALSE", get_motd="FALSE", warn_if_package_contains_too_many_boards="FALSE",
                   output_directory=os.path.join(box.records, "%Y"))
        for p in prefixes:
            if missing_ports:
                cfg[p + "_device"] = "/dev/vur-no-such-port-" + p
            else:
                master, slave = pty.openpty()
                tty.setraw(slave, termios.TCSANOW)
                masters.append(master)
                cfg[p + "_device"] = os.ttyname(slave)
                os.close(slave)
            cfg[p + "_name"] = "Meter " + p
            cfg[p + "_output_directory"] = os.path.join(box.records, p, "%Y")
            for key, value in overrides:
                cfg[p + key] = value
        write_config(box.cfg_file, cfg)

        vur = box.start_vur()
        box.wait_for_log(r"failed to open serial communication device" if missing_ports else r"device=\S+ Baud=",
                         timeout=60, count=len(prefixes))
        time.sleep(settle)

        stat = "/proc/%d/stat" % vur.pid
        before, threads_before, t0 = cpu_ticks(stat), thread_ticks(vur.pid), time.monotonic()
        time.sleep(seconds)
        after, threads_after, t1 = cpu_ticks(stat), thread_ticks(vur.pid), time.monotonic()
        box.stop(vur, timeout=60)

        roles = {}
        for tid, (name, ticks) in threads_after.items():
            used = ticks - threads_before.get(tid, (name, 0))[1]
            if tid == str(vur.pid):
                role = "message thread"
            elif name.startswith("thread for") or name == threads_after[str(vur.pid)][0]:
                # Names longer than 15 characters do not reach the kernel: the reading threads keep the
                # program's name.
                role = "reading threads"
            else:
                role = name
            roles[role] = roles.get(role, 0) + used
        elapsed = t1 - t0
        return (after - before) / TICKS / elapsed, {k: v / TICKS / elapsed for k, v in roles.items()}
    finally:
        for m in masters:
            os.close(m)
        box.close()


def measure_bare_window(seconds, settle):
    """Processor seconds per second of an empty framework window."""
    proc = subprocess.Popen([os.path.join(BIN_DIR, "vur_bench_bare_window")], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        time.sleep(settle)
        stat = "/proc/%d/stat" % proc.pid
        before, t0 = cpu_ticks(stat), time.monotonic()
        time.sleep(seconds)
        after, t1 = cpu_ticks(stat), time.monotonic()
        return (after - before) / TICKS / (t1 - t0)
    finally:
        proc.kill()
        proc.wait()


def report(title, fraction, roles):
    print("%s: %.4f of one core (%.2f %%)" % (title, fraction, fraction * 100))
    for role, share in sorted(roles.items(), key=lambda item: -item[1]):
        if share > 0:
            print("    %-18s %.2f %%" % (role, share * 100))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seconds", type=float, default=float(os.environ.get("VUR_BENCH_SECONDS", "30")))
    parser.add_argument("--devices", type=int, default=8)
    parser.add_argument("--settle", type=float, default=5.0)
    parser.add_argument("--rounds", type=int, default=1, help="measure the monitor and the empty window this many times each")
    parser.add_argument("--set", action="append", default=[], metavar="_KEY=VALUE",
                        help="a per-device setting for every device, instead of its default (for diagnosis)")
    args = parser.parse_args()
    overrides = [tuple(item.split("=", 1)) for item in args.set]
    prefixes = list(string.ascii_lowercase[:args.devices])

    # Other work on the machine moves single figures by tenths of a per cent: with --rounds N the monitor and
    # the empty window are measured N times in turn, and the medians are compared.
    silent_runs, bare_runs = [], []
    for round_number in range(args.rounds):
        silent, silent_roles = measure(prefixes, args.seconds, args.settle, False, overrides)
        report("%d silent devices, %.0f s" % (len(prefixes), args.seconds), silent, silent_roles)
        if round_number == 0:
            # The same window and timers with every reading thread ended at its start: what the reading costs.
            ended, ended_roles = measure(prefixes, args.seconds, args.settle, True, overrides)
            report("the same without reading threads (ports missing)", ended, ended_roles)
            reading = silent_roles.get("reading threads", 0.0)
        bare = measure_bare_window(args.seconds, args.settle)
        print("an empty framework window: %.4f of one core (%.2f %%)" % (bare, bare * 100))
        silent_runs.append(silent)
        bare_runs.append(bare)
    silent, bare = statistics.median(silent_runs), statistics.median(bare_runs)
    print("idle processor use, fraction of one core: %.4f; of it the reading threads: %.4f; the monitor's own "
          "share (less the empty window): %.4f%s" % (silent, reading, silent - bare,
                                                    " (medians of %d rounds)" % args.rounds if args.rounds > 1 else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
