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


if __name__ == "__main__":
    unittest.main()
