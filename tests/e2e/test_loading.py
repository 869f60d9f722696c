"""Start-up loading of the real binary: progress window, version check and message of the day through curl
against a loopback web server, device discovery."""

import os
import re
import signal
import time
import unittest
import urllib.parse

from harness import Sandbox, WebServer, read_config, save_screenshot, write_config, press_key

LISTING_NEWER = ('<a href="vur-1.0.0-2719-win64.zip">vur-1.0.0-2719-win64.zip</a>\n'
                 '<a href="vur-1.0.0-2718-win64.zip">vur-1.0.0-2718-win64.zip</a>\n')
LISTING_SAME = '<a href="vur-1.0.0-2718-win64.zip">vur-1.0.0-2718-win64.zip</a>\n'


class LoadingTest(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox("loading")

    def tearDown(self):
        self.box.close()

    @staticmethod
    def slow_motd_server(delay):
        """The maker's site with this very version and a message of the day that takes delay seconds."""
        return WebServer({"/vur/download/?C=M;O=D": LISTING_SAME, "/vur/motd.txt": "  \r\n",
                          "/vur/download/motd.txt": "Kiln 3 is down for service today.\n"},
                         delays={"/vur/download/motd.txt": delay})

    def start(self, web, **cfg):
        write_config(self.box.cfg_file, cfg)
        return self.box.start_vur(VUR_WEB_BASE_URL=web.url)

    def test_web_checks_progress_and_device_discovery(self):
        # The message of the day answers slowly, so that the progress window can be photographed.
        web = self.slow_motd_server(4)
        try:
            proc = self.start(web, x_device="/dev/null-meter", x_name="Planer")
            self.box.wait_for_log(r"external command: curl .*/vur/download/motd\.txt")
            time.sleep(1.5)
            save_screenshot("load-window.png")
            self.box.wait_for_log(r'running job #4: "main window"', timeout=30)
            self.assertEqual(self.box.stop(proc), 0)
        finally:
            web.close()

        log = self.box.log()
        self.assertIn("loading: Starting...", log)
        self.assertIn("loading: Verifying client version number...", log)
        self.assertIn("getting download information from %s/vur/download/?C=M;O=D" % web.url, log)
        self.assertIn("current version=1.0.0-2718, most recent version=1.0.0-2718", log)
        self.assertIn("loading: Getting ready...", log)
        self.assertIn("MOTD: Kiln 3 is down for service today.", log)
        self.assertIn("found device with key=x_device, prefix=x", log)
        self.assertIn("loading: Verifying...", log)
        self.assertRegex(log, r"update progress bar: 5/100 = 5\.0%")
        self.assertEqual([p for p, _ in web.requests],
                         ["/vur/download/?C=M;O=D", "/vur/motd.txt", "/vur/download/motd.txt"])
        self.assertTrue(all(agent.startswith("VUR/1.0.0-2718 (") for _, agent in web.requests))
        self.assertEqual([f for f in os.listdir(self.box.tmp) if f.endswith(".vur.out")], [])

        cfg = read_config(self.box.cfg_file)
        self.assertEqual(cfg["x_name"], "Planer")
        self.assertEqual(cfg["x_interval_ms"], "250")
        self.assertNotIn("a_device", cfg)
        # 5 + 10 + 10 + 10 + 1 + keys + 1 device + 1 + 10 units, stored as a whole number.
        self.assertRegex(cfg["number_of_items_to_load"], r"^\d+$")
        done = re.findall(r"update progress bar: (\d+)/", log)[-1]
        self.assertEqual(cfg["number_of_items_to_load"], done)

    def test_quit_request_during_start_up_is_answered_when_it_is_done(self):
        web = self.slow_motd_server(3)
        try:
            proc = self.start(web, x_device="/dev/null-meter", x_name="Planer")
            self.box.wait_for_log(r"external command: curl .*/vur/download/motd\.txt")
            proc.send_signal(signal.SIGTERM)
            self.assertEqual(proc.wait(timeout=60), 0)
        finally:
            web.close()

        log = self.box.log()
        position = 0
        for line in ("MOTD: Kiln 3 is down for service today.", "starting the main window",
                     "quit requested by the operating system", "shutting down Dadovir Moisture Measurement"):
            found = log.find(line, position)
            self.assertGreaterEqual(found, 0, "%r missing or out of order in:\n%s" % (line, log[-3000:]))
            position = found + len(line)
        self.assertEqual(log.count("quit requested by the operating system"), 1)

    def test_out_of_date_box_answered_with_cancel_then_ok(self):
        for answer, line in (("Escape", "do not open the download page "),
                             ("Return", "exiting since the download page has been opened")):
            with self.subTest(answer=answer):
                web = WebServer({"/vur/download/?C=M;O=D": LISTING_NEWER})
                try:
                    proc = self.start(web, get_motd="FALSE")
                    self.box.wait_for_log(r"most recent version=1\.0\.0-2719")
                    self.box.wait_for_log(r'running job #4: "main window"', timeout=30)
                    deadline = time.time() + 20
                    while line not in self.box.log() and time.time() < deadline:
                        press_key(answer)
                        time.sleep(0.5)
                    self.assertIn(line, self.box.log())
                    if answer == "Return":
                        self.assertEqual(proc.wait(timeout=30), 0)
                        self.assertIn("shutting down Dadovir Moisture Measurement", self.box.log())
                    else:
                        self.assertEqual(self.box.stop(proc), 0)
                finally:
                    web.close()
                os.remove(self.box.log_file)

    def test_ok_in_the_out_of_date_box_during_loading_ends_the_system_once_loaded(self):
        # The message of the day is slow and empty, so that the box is answered while loading goes on and no
        # other box takes the key.
        web = WebServer({"/vur/download/?C=M;O=D": LISTING_NEWER, "/vur/motd.txt": " \n",
                         "/vur/download/motd.txt": " \n"}, delays={"/vur/motd.txt": 8})
        line = "exiting since the download page has been opened"
        # A browser of our own on the search path notes the page it is asked to open.
        fake_bin = os.path.join(self.box.root, "bin")
        opened = os.path.join(self.box.root, "opened.txt")
        os.makedirs(fake_bin)
        with open(os.path.join(fake_bin, "xdg-open"), "w") as f:
            f.write('#!/bin/sh\necho "$@" > "%s.part" && mv "%s.part" "%s"\n' % (opened, opened, opened))
        os.chmod(os.path.join(fake_bin, "xdg-open"), 0o755)
        try:
            write_config(self.box.cfg_file, dict(x_device="/dev/null-meter", x_name="Planer"))
            proc = self.box.start_vur(VUR_WEB_BASE_URL=web.url, PATH=fake_bin + os.pathsep + os.environ["PATH"])
            self.box.wait_for_log(r"external command: curl .*/vur/motd\.txt")
            deadline = time.time() + 20
            while line not in self.box.log() and time.time() < deadline:
                press_key("Return")
                time.sleep(0.5)
            self.assertIn(line, self.box.log())
            # The page opens at once, while loading still goes on.
            deadline = time.time() + 5
            while not os.path.exists(opened) and time.time() < deadline:
                time.sleep(0.1)
            with open(opened) as f:
                # (The framework writes the query's separators percent-encoded.)
                self.assertEqual(urllib.parse.unquote(f.read().strip()), web.url + "/vur/download/?C=M;O=D")
            self.assertNotIn("starting the main window", self.box.log(), "the box was answered too late to show anything")
            self.assertEqual(proc.wait(timeout=90), 0)
        finally:
            web.close()

        log = self.box.log()
        position = 0
        for expected in ("opening download page %s/vur/download/?C=M;O=D" % web.url, line,
                         "starting the main window", "shutting down Dadovir Moisture Measurement"):
            found = log.find(expected, position)
            self.assertGreaterEqual(found, 0, "%r missing or out of order in:\n%s" % (expected, log[-3000:]))
            position = found + len(expected)

    def test_a_version_too_long_to_be_real_is_passed_over_and_the_start_goes_on(self):
        version = "1" * 100000
        web = WebServer({"/vur/download/?C=M;O=D": '<a href="vur-%s-win64.zip">x</a>\n' % version + LISTING_NEWER})
        try:
            proc = self.start(web, get_motd="FALSE")
            self.box.wait_for_log(r'running job #4: "main window"', timeout=60)
            self.assertEqual(self.box.stop(proc), 0)
        finally:
            web.close()
        log = self.box.log()
        self.assertIn("ignoring a version of 100000 characters in the download listing", log)
        # The listing is read newest first: the link after the garbage is older news, not the answer.
        self.assertNotIn("most recent version=", log)

    def test_switched_off_checks_make_no_request_and_cost_no_units(self):
        web = WebServer({})
        try:
            proc = self.start(web, get_version_number="n", get_motd="0")
            self.box.wait_for_log(r'running job #4: "main window"')
            self.assertEqual(self.box.stop(proc), 0)
        finally:
            web.close()
        self.assertEqual(web.requests, [])
        self.assertNotIn("external command:", self.box.log())


if __name__ == "__main__":
    unittest.main()
