"""The program killed outright at random moments while a fast meter keeps its package file growing: every
record file left on disk is whole, and the next start reads back exactly what the file holds."""

import glob
import os
import random
import re
import signal
import time
import unittest

from harness import Sandbox, write_config
from test_records import package_text

ROUNDS = 10
RATE = 5000             # boards per second: the package file is rewritten up to 50 times a second
STORED_BOARDS = 100000  # the package before the first start: every rewrite is half a megabyte or more


def check_package_file(test, path):
    """A package file that parses whole: its count and bins agree with its values. Returns the count."""
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode()
    test.assertTrue(text.endswith(".\r\n"), "%s ends in %r" % (path, text[-20:]))
    lines = text.split("\r\n")
    test.assertEqual(len(lines), 3, path)
    head = lines[0].split(",")
    test.assertEqual(len(head), 23, path)
    test.assertEqual(head[18:20] + head[22:], ["000", "000", "000"], path)
    float(head[20]), float(head[21])
    values = [float(v) for v in lines[1].split(",")[:-1]]
    test.assertEqual(lines[1].split(",")[-1], ".", path)
    test.assertEqual(int(head[0]), len(values), path)
    bins = [0] * 17
    for v in values:
        bins[0 if v < 9 else 16 if v >= 24 else int(v) - 8] += 1
    test.assertEqual([int(b) for b in head[1:18]], bins, path)
    return len(values)


class CrashSafetyTest(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox("crash")
        self.package = os.path.join(self.box.records, str(time.localtime().tm_year), "3_007009.mc")

    def tearDown(self):
        self.box.close()

    def test_killed_while_rewriting_a_large_package_file(self):
        rng = random.Random(os.environ.get("VUR_TEST_SEED", time.time()))
        os.makedirs(os.path.dirname(self.package))
        with open(self.package, "w", newline="") as f:
            f.write(package_text([round(7.0 + (i * 37 % 190) / 10.0, 1) for i in range(STORED_BOARDS)]))
        on_disk = STORED_BOARDS
        interrupted_writes = 0
        for round_number in range(ROUNDS):
            meter, pty_path = self.box.start_meter("--rate", str(RATE), "--wait-open")
            write_config(self.box.cfg_file, dict(
                get_version_number="FALSE", get_motd="FALSE", VODAze="40 40 900 600",
                opc_console_application="vur-no-such-console",
                output_directory=self.box.records + "/%Y/", a_device=pty_path, a_run_simulation="false",
                a_interval_ms="20", a_read_len="65536", a_chart_redraw_ms="1000",
                a_last_kiln="3", a_last_run="7", a_last_pkg="9"))
            # The numbers stay as saved: no OPC console, whose child would outlive a killed program.
            # Each round's log only: a large package is logged whole at every write.
            for log in (self.box.log_file, self.box.log_file + ".old"):
                if os.path.exists(log):
                    os.remove(log)

            vur = self.box.start_vur()
            # What the last round left on disk is exactly what this one starts from.
            self.box.wait_for_log(r"prefix=a: import has finished loading \d+ boards")
            loaded = int(re.search(r"import has finished loading (\d+) boards", self.box.log()).group(1))
            self.assertEqual(loaded, on_disk, "round %d" % round_number)

            # Kill only once a rewrite has finished and the next has begun (writes follow one another): a
            # program that writes nothing must fail, and a kill during the round's first write would leave the
            # file rightly as it was.
            self.box.wait_for_log(r"prefix=a: writing \d+ boards to .*3_007009\.mc", count=2)
            if round_number % 2 == 0:
                # At a random moment: wherever the kill lands.
                time.sleep(rng.uniform(0.8, 2.5))
            else:
                # While a rewrite is seen under way (its temporary file is there), so that some kills land in
                # the middle of a write however the load on the machine spaces the writes out.
                left_before = set(glob.glob(self.package + ".tmp*"))
                deadline = time.time() + 30
                while not set(glob.glob(self.package + ".tmp*")) - left_before and time.time() < deadline:
                    time.sleep(0.001)
            vur.send_signal(signal.SIGKILL)
            vur.wait(timeout=10)
            self.box.stop(meter)

            # A temporary file left beside the package shows the kill landed in the middle of a write.
            interrupted_writes += len(glob.glob(self.package + ".tmp*"))
            self.assertTrue(os.path.exists(self.package), "round %d wrote no package file" % round_number)
            count = check_package_file(self, self.package)
            self.assertGreater(count, on_disk, "round %d: the package file did not grow" % round_number)
            on_disk = count

        # At 5000 boards a second the package file is being rewritten most of the time: some kills must have
        # landed in the middle of a write, or the test proved nothing about them.
        self.assertGreater(interrupted_writes, 0, "no kill landed in the middle of a write")

        print("\n%d boards in the package after %d kills; %d kills landed in the middle of a write"
              % (on_disk, ROUNDS, interrupted_writes))


if __name__ == "__main__":
    unittest.main()
