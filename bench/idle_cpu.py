#!/usr/bin/env python3
"""Processor time of the real monitor with its devices connected and silent, as a fraction of one core.

Opens one pseudo-terminal per device and never writes to it, runs the monitor on them with the shipped
per-device defaults (250 ms passes, 11-byte reads, a 1000 ms refresh), lets it settle, and reads the
scheduler's processor time of each of its threads from /proc over the measuring period, in all and by thread
(message thread, the framework's timer thread, the reading threads), with how often each was woken.
Over the same seconds it measures an empty framework window of the same kind (vur_bench_bare_window) on the
same display: the framework's own idle load, mostly its repaint pacing at the display's refresh rate (100 Hz
where the display reports none, as Xvfb). The monitor's own share is the first figure less this one; taken
over the same seconds, whatever else the machine does weighs on both alike. Of that share, the reading
threads are one part and the window's own work (status refresh, chart, timers, polls) the rest. The first
round also measures the same configuration with every port missing, so that the reading threads end at once.

    needs a display: DISPLAY=:N python3 bench/idle_cpu.py [--seconds 30] [--devices 8] [--rounds 1]
        [--build DIR --build OTHER_DIR]
    VUR_BIN_DIR (default build/bin) names the folder of vur and vur_bench_bare_window; with --build, each
    named folder is measured in turn, round by round, and their medians are set side by side (a change
    measured against the build before it, in one sitting).
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
import harness  # noqa: E402
from harness import Sandbox, write_config  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(task_dir):
    """Processor time of one thread so far. The scheduler's own count is in nanoseconds; the user and system
    times of `stat` come in clock ticks of 10 ms, as coarse as the whole monitor's share over half a minute."""
    try:
        with open(task_dir + "schedstat") as f:
            return int(f.read().split()[0]) / 1e9
    except (OSError, ValueError, IndexError):
        with open(task_dir + "stat") as f:
            text = f.read()
        fields = text[text.rindex(")") + 2:].split()
        return (int(fields[11]) + int(fields[12])) / TICKS  # utime, stime


def wakeups(status_path):
    """How often the thread has gone to sleep and been woken (voluntary context switches)."""
    with open(status_path) as f:
        for line in f:
            if line.startswith("voluntary_ctxt_switches:"):
                return int(line.split()[1])
    return 0


def thread_times(pid):
    result = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
                name = f.read().strip()
            base = "/proc/%d/task/%s/" % (pid, tid)
            result[tid] = (name, cpu_seconds(base), wakeups(base + "status"))
        except OSError:
            pass
    return result


def roles_of(pid, before, after, elapsed):
    """Processor share and wake-ups a second by thread role."""
    roles = {}
    for tid, (name, used, wakes) in after.items():
        start = before.get(tid, (name, 0, 0))
        if tid == str(pid):
            role = "message thread"
        elif name.startswith("thread for") or name == after[str(pid)][0]:
            # Names longer than 15 characters do not reach the kernel: the reading threads keep the
            # program's name.
            role = "reading threads"
        else:
            role = name
        share, woken = roles.get(role, (0.0, 0.0))
        roles[role] = (share + (used - start[1]) / elapsed, woken + (wakes - start[2]) / elapsed)
    return roles


def measure(bin_dir, prefixes, seconds, settle, missing_ports, overrides=()):
    """The monitor's and the empty window's processor share over the same seconds, and the monitor's by
    thread role."""
    harness.BIN_DIR = bin_dir
    box = Sandbox("idle")
    masters = []
    bare = None
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
                if key.startswith("_"):
                    cfg[p + key] = value
        for key, value in overrides:
            if not key.startswith("_"):
                cfg[key] = value
        write_config(box.cfg_file, cfg)

        vur = box.start_vur()
        box.wait_for_log(r"failed to open serial communication device" if missing_ports else r"device=\S+ Baud=",
                         timeout=60, count=len(prefixes))
        bare = subprocess.Popen([os.path.join(bin_dir, "vur_bench_bare_window")], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        time.sleep(settle)

        vur_before, bare_before, t0 = thread_times(vur.pid), thread_times(bare.pid), time.monotonic()
        time.sleep(seconds)
        vur_after, bare_after, t1 = thread_times(vur.pid), thread_times(bare.pid), time.monotonic()
        box.stop(vur, timeout=60)

        elapsed = t1 - t0
        roles = roles_of(vur.pid, vur_before, vur_after, elapsed)
        bare_roles = roles_of(bare.pid, bare_before, bare_after, elapsed)
        return (sum(share for share, _ in roles.values()), roles,
                sum(share for share, _ in bare_roles.values()), bare_roles)
    finally:
        if bare is not None:
            bare.kill()
            bare.wait()
        for m in masters:
            os.close(m)
        box.close()


def report(title, fraction, roles):
    print("%s: %.4f of one core (%.2f %%)" % (title, fraction, fraction * 100))
    for role, (share, woken) in sorted(roles.items(), key=lambda item: (-item[1][0], -item[1][1])):
        if share > 0 or woken >= 0.05:
            print("    %-18s %.2f %%, woken %.1f times a second" % (role, share * 100, woken))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seconds", type=float, default=float(os.environ.get("VUR_BENCH_SECONDS", "30")))
    parser.add_argument("--devices", type=int, default=8)
    parser.add_argument("--settle", type=float, default=5.0)
    parser.add_argument("--rounds", type=int, default=1, help="measure each build this many times, in turn")
    parser.add_argument("--build", action="append", default=[], metavar="DIR",
                        help="a folder with vur and vur_bench_bare_window; give it twice or more to compare builds")
    parser.add_argument("--set", action="append", default=[], metavar="KEY=VALUE",
                        help="a setting instead of its default, for diagnosis: _KEY for every device (_chart_redraw_ms=0), "
                             "otherwise for the whole program (board_history_file=)")
    args = parser.parse_args()
    overrides = [tuple(item.split("=", 1)) for item in args.set]
    prefixes = list(string.ascii_lowercase[:args.devices])
    builds = [os.path.abspath(b) for b in args.build] or [harness.BIN_DIR]

    # Other work on the machine moves single figures by tenths of a per cent, the empty window's as much as
    # the monitor's: each round sets the monitor against the window measured beside it, and the medians of
    # the rounds are compared.
    runs = {b: [] for b in builds}
    for round_number in range(args.rounds):
        for build in builds:
            print("round %d, %s" % (round_number + 1, build))
            silent, roles, bare, bare_roles = measure(build, prefixes, args.seconds, args.settle, False, overrides)
            report("%d silent devices, %.0f s" % (len(prefixes), args.seconds), silent, roles)
            report("an empty framework window, the same seconds", bare, bare_roles)
            if round_number == 0:
                # The same window and timers with every reading thread ended at its start: what the reading costs.
                ended, ended_roles, ended_bare, _ = measure(build, prefixes, args.seconds, args.settle, True, overrides)
                report("the same without reading threads (ports missing)", ended, ended_roles)
                print("    (the empty window beside it: %.2f %%)" % (ended_bare * 100))
            reading = roles.get("reading threads", (0.0, 0.0))[0]
            runs[build].append((silent, bare, silent - bare, reading, silent - bare - reading))

    print()
    print("idle processor use, per cent of one core%s:" % (", medians of %d rounds" % args.rounds if args.rounds > 1 else ""))
    print("    %-8s %8s %8s %8s %8s %8s  %s" % ("", "monitor", "window", "share", "reading", "window's", "build"))
    print("    %-8s %8s %8s %8s %8s %8s" % ("", "", "(empty)", "", "threads", "own work"))
    for number, build in enumerate(builds):
        columns = [statistics.median(run[i] for run in runs[build]) * 100 for i in range(5)]
        label = chr(ord("A") + number) if len(builds) > 1 else ""
        print("    %-8s %8.2f %8.2f %8.2f %8.2f %8.2f  %s" % (label, *columns, build))
        if args.rounds > 1:
            shares = sorted(run[2] * 100 for run in runs[build])
            print("    %-8s share from %.2f to %.2f across the rounds" % ("", shares[0], shares[-1]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
