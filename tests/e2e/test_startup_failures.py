"""Start-ups that meet something they cannot use: the program says why and ends, or shows it and runs on;
it never stays without a window, and it never writes over what it could not read."""

import os
import re
import subprocess
import time
import unittest

from harness import Sandbox, red_text_bands, write_config

TITLE = "VUR v1.0.0-2718"


def visible_main_windows():
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(TITLE)],
                         capture_output=True, text=True)
    return out.stdout.split()


def wait_until(condition, timeout, what):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("%s did not happen within %.0f s" % (what, timeout))


class StartupFailureTest(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox("startup-failures")

    def tearDown(self):
        self.box.close()

    def answer_quit_box(self, proc):
        # The "quit" box takes the Return key as its one button.
        deadline = time.time() + 20
        while proc.poll() is None and time.time() < deadline:
            subprocess.run(["xdotool", "key", "Return"], check=False)
            time.sleep(0.5)
        return proc.wait(timeout=10)

    def test_unreadable_configuration_ends_the_start_and_stays_byte_for_byte(self):
        # A hand edit lost the closing quote of a key name.
        text = (b'<?xml version="1.0" encoding="UTF-8"?>\r\n\r\n<PROPERTIES>\r\n'
                b'  <VALUE name="planer1_device" val="/dev/ttyS0"/>\r\n'
                b'  <VALUE name="planer1_name val="Planer #1"/>\r\n'
                b'  <VALUE name="planer1_last_kiln" val="12"/>\r\n'
                b'</PROPERTIES>\r\n')
        with open(self.box.cfg_file, "wb") as f:
            f.write(text)

        proc = self.box.start_vur()
        self.box.wait_for_log(r"Error detected:\nThe configuration file %s cannot be read \(reading stopped: "
                              % re.escape(self.box.cfg_file))
        self.assertEqual(self.answer_quit_box(proc), 1)

        with open(self.box.cfg_file, "rb") as f:
            self.assertEqual(f.read(), text)
        self.assertNotIn("shutting down", self.box.log())

    def test_configuration_nested_without_end_ends_the_start_with_its_reason(self):
        # The framework's reader descends one call per element: this file would overflow any stack.
        depth = 200000
        text = (b'<?xml version="1.0" encoding="UTF-8"?>\r\n<PROPERTIES>\r\n' + b"<a>" * depth + b"</a>" * depth
                + b"\r\n</PROPERTIES>\r\n")
        with open(self.box.cfg_file, "wb") as f:
            f.write(text)

        proc = self.box.start_vur()
        self.box.wait_for_log(r"Error detected:\nThe configuration file %s cannot be read \(its elements are nested "
                              r"deeper than 64 levels\)" % re.escape(self.box.cfg_file))
        self.assertEqual(self.answer_quit_box(proc), 1)
        with open(self.box.cfg_file, "rb") as f:
            self.assertEqual(f.read(), text)

    def test_device_with_an_unusable_pattern_gets_its_tab_and_the_others_theirs(self):
        write_config(self.box.cfg_file, dict(
            get_version_number="FALSE", get_motd="FALSE", opc_console_application="vur-no-such-console",
            VODAze="40 40 900 600",
            a_device="/dev/vur-no-such-port-a", a_name="Planer", a_export_image="true", a_chart_redraw_ms="300",
            a_opc_via_csv_filename=os.path.join(self.box.tmp, "numbers.csv"), a_opc_via_csv_regex="([unclosed",
            b_device="/dev/vur-no-such-port-b", b_name="Moulder",
            # A folder of its own: two devices writing the same record files would add a line about that.
            b_output_directory=os.path.join(self.box.records, "moulder", "%Y")))
        proc = self.box.start_vur()

        wait_until(visible_main_windows, 30, "a visible main window")
        self.box.wait_for_log(r'device thread for /dev/vur-no-such-port-b has started \(name="Moulder"')
        self.assertIn('a_opc_via_csv_regex "([unclosed" cannot be used', self.box.log())

        # Red lines from y 20: the two about the console, then the device's own: its pattern and its port.
        chart = os.path.join(self.box.tmp, "a_chart.png")

        def bands():
            try:
                return red_text_bands(chart)
            except (OSError, subprocess.CalledProcessError, ValueError, IndexError):
                return None  # not written yet, or caught while being written

        wait_until(lambda: bands() == [1, 2, 3, 4], 30, "four red lines on the chart")
        self.assertEqual(self.box.stop(proc), 0)


if __name__ == "__main__":
    unittest.main()
