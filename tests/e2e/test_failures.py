"""Failures an operator must see on the charts: a dead OPC console and a missing serial port; and a monitor
killed outright takes its OPC console with it."""

import os
import signal
import time
import unittest

from harness import Sandbox, red_text_bands, write_config


def running_processes_with_argument(argument):
    """Ids of the processes, zombies aside, that have argument among their command-line arguments."""
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % name, "rb") as f:
                args = f.read().split(b"\0")
            with open("/proc/%s/stat" % name) as f:
                state = f.read().rsplit(")", 1)[1].split()[0]
        except (OSError, IndexError):
            continue
        if state not in ("Z", "X") and argument.encode() in args:
            found.append(int(name))
    return found


class FailureDisplayTest(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox("failures")

    def tearDown(self):
        self.box.close()

    def run_until_chart(self, expected_bands, **cfg):
        """The red bands of the exported chart once they show expected_bands (or the last seen after 30 s)."""
        base = dict(get_version_number="FALSE", get_motd="FALSE", a_device="/dev/vur-no-such-port", a_name="Planer",
                    a_export_image="true", a_chart_redraw_ms="300", VODAze="40 40 900 600")
        base.update(cfg)
        write_config(self.box.cfg_file, base)
        proc = self.box.start_vur()
        self.box.wait_for_log(r'running job #4: "main window"')
        chart = os.path.join(self.box.tmp, "a_chart.png")
        # The console's end is noticed by a poll and drawn by a later refresh: how long that takes depends on
        # the machine's load, so the chart is read again until it shows the texts (the file is replaced whole).
        bands = None
        deadline = time.time() + 30
        while time.time() < deadline:
            if os.path.exists(chart):
                bands = red_text_bands(chart)
                if bands == expected_bands:
                    break
            time.sleep(0.2)
        self.assertTrue(os.path.exists(chart), "no chart was exported")
        self.assertEqual(self.box.stop(proc), 0)
        return bands

    def test_dead_console_and_missing_port_are_drawn_in_red(self):
        # The stand-in cannot serve the default opcda:// address: it ends at once.
        bands = self.run_until_chart([1, 2], opc_console_application="vur-opc-sim")
        log = self.box.log()
        self.assertIn("failed to open serial communication device /dev/vur-no-such-port", log)
        self.assertNotIn("Failed to start the OPC console application.", log)
        # "OPC Console has failed." from y 20, the serial error from y 40.
        self.assertEqual(bands, [1, 2])

    def test_console_that_cannot_start_adds_both_texts(self):
        bands = self.run_until_chart([1, 2, 3], opc_console_application="vur-no-such-console")
        self.assertIn("failed to create child process for OPC console window", self.box.log())
        self.assertEqual(bands, [1, 2, 3])

    def test_board_history_that_cannot_be_written_is_drawn_in_red_and_the_monitor_runs_on(self):
        # A regular file where the database's folder should be.
        blocker = os.path.join(self.box.root, "history")
        with open(blocker, "w") as f:
            f.write("in the way")
        bands = self.run_until_chart([1, 2, 3], opc_console_application="vur-opc-sim",
                                     board_history_file=os.path.join(blocker, "boards.sqlite"))
        log = self.box.log()
        self.assertEqual(log.count("cannot be written, boards wait in memory"), 1, log[-3000:])
        # The console's and the port's texts, then the board history's.
        self.assertEqual(bands, [1, 2, 3])

    def test_console_ends_when_the_monitor_is_killed_outright(self):
        write_config(self.box.cfg_file, dict(get_version_number="FALSE", get_motd="FALSE", a_device="/dev/vur-no-such-port",
                                             a_name="Planer", opc_console_application="vur-opc-sim",
                                             opc_url="sim:?pkg_seconds=60"))
        proc = self.box.start_vur()
        self.box.wait_for_log(r'running job #4: "main window"')
        # The configuration file is the console's one argument: it tells this console from any other.
        deadline = time.time() + 30
        while not running_processes_with_argument(self.box.cfg_file) and time.time() < deadline:
            time.sleep(0.1)
        consoles = running_processes_with_argument(self.box.cfg_file)
        self.assertEqual(len(consoles), 1, self.box.log()[-3000:])

        proc.send_signal(signal.SIGKILL)
        self.assertEqual(proc.wait(timeout=30), -signal.SIGKILL)
        deadline = time.time() + 30
        while running_processes_with_argument(self.box.cfg_file) and time.time() < deadline:
            time.sleep(0.1)
        left = running_processes_with_argument(self.box.cfg_file)
        for pid in left:
            os.kill(pid, signal.SIGKILL)
        self.assertEqual(left, [], "the OPC console outlived the monitor")


if __name__ == "__main__":
    unittest.main()
