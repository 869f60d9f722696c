"""Record files from the real program: boards from a simulated meter, kiln/run/package numbers through the
OPC console in relay mode, package and summary files checked byte for byte, and the figures rebuilt from
those files after a restart."""

import math
import os
import re
import time
import unittest

from harness import Sandbox, binary, write_config

# Boards of each package, in the order the meter sends them: (kiln, run, package, values). The counts are
# multiples of 100, so that the program's own log says when the last board of a package has been counted
# (it rewrites the package file at every hundredth board).
def _values(count, seed):
    # Every bin from below 9 % to 24 % and more, with values on the bin edges.
    edges = [8.9, 9.0, 23.9, 24.0, 25.7, 7.2]
    return [edges[i % len(edges)] if i % 7 == 0 else round(7.0 + ((i * 37 + seed) % 190) / 10.0, 1)
            for i in range(count)]


PACKAGES = [
    (6, 11, 5, _values(100, 3)),
    (7, 12, 1, _values(200, 11)),
    (7, 12, 2, _values(100, 29)),
    (7, 12, 3, _values(300, 47)),
]
RATE = 200            # boards (lines) per second
PAUSE_SECONDS = 6     # silence between packages, while the test switches the package number


def moisture_bin(v):
    if not v >= 9.0:
        return 0
    if v >= 24.0:
        return 16
    return int(v) - 8


def statistics(values):
    """Count, histogram, sample deviation and average as the program keeps them: the sum in order of arrival,
    the deviation around that average."""
    n = len(values)
    total = 0.0
    for v in values:
        total += v
    average = total / n if n else 0.0
    squares = 0.0
    for v in values:
        squares += (v - average) * (v - average)
    stddev = math.sqrt(squares / (n - 1)) if n >= 2 else 0.0
    bins = [0] * 17
    for v in values:
        bins[moisture_bin(v)] += 1
    return n, bins, stddev, average


def package_text(values):
    n, bins, stddev, average = statistics(values)
    head = "%04d," % n + "".join("%04d," % b for b in bins) + "000,000,%.6f,%.6f,000\r\n" % (stddev, average)
    return head + "".join("%04.1f," % v for v in values) + ".\r\n"


def summary_text(values):
    n, bins, stddev, average = statistics(values)
    return "%d," % n + "".join("%d," % b for b in bins) + "000,000,%.6f,%.6f,0.0,0.0\r\n" % (stddev, average)


def one_decimal_list(values):
    return "".join("%.1f, " % v for v in values)


class RecordFilesTest(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox("records")
        self.relay = os.path.join(self.box.root, "relay.txt")
        self.csv = os.path.join(self.box.root, "no-such.csv")
        self.year_dir = os.path.join(self.box.records, str(time.localtime().tm_year))

    def tearDown(self):
        self.box.close()

    def set_numbers(self, kiln, run, pkg):
        """Replaces the relay file in one step, as a plant gateway would."""
        temp = self.relay + ".new"
        with open(temp, "w") as f:
            f.write("N75:3=%d\nN75:4=%d\nN75:5=%d\n" % (kiln, run, pkg))
        os.replace(temp, self.relay)

    def config(self, device):
        return dict(get_version_number="FALSE", get_motd="FALSE", VODAze="40 40 900 600",
                    opc_console_application=binary("vur-opc-sim"), opc_url="file://" + self.relay,
                    output_directory=self.box.records + "/%Y/",
                    a_device=device, a_name="Planer", a_run_simulation="false", a_interval_ms="50",
                    a_read_len="1100", a_chart_redraw_ms="200", a_opc_via_csv_filename=self.csv,
                    a_last_kiln="6", a_last_run="11", a_last_pkg="5")

    def record_path(self, kiln, run, pkg):
        return os.path.join(self.year_dir, "%d_%03d%03d.mc" % (kiln, run, pkg))

    def read_record(self, kiln, run, pkg):
        with open(self.record_path(kiln, run, pkg), "rb") as f:
            return f.read().decode()

    def records_on_disk(self):
        files = {}
        for name in os.listdir(self.year_dir):
            with open(os.path.join(self.year_dir, name), "rb") as f:
                files[name] = f.read()
        return files

    def wait_for_refreshes(self, n=2):
        """Waits for n more timer passes; each refreshes the statistics before it polls the CSV file."""
        seen = self.box.log().count("prefix=a: checking to see if there are any changes")
        self.box.wait_for_log(r"prefix=a: checking to see if there are any changes", count=seen + n)

    def test_packages_and_summaries_match_the_boards_and_survive_a_restart(self):
        lines = []
        for _, _, _, values in PACKAGES:
            lines += ["%04.1f\t%04.1f" % (v + 0.4, v) for v in values]
            lines += [""] * (PAUSE_SECONDS * RATE)  # a bare line end: no board
        boards_file = os.path.join(self.box.root, "boards.txt")
        with open(boards_file, "w") as f:
            f.write("\n".join(lines) + "\n")

        self.set_numbers(6, 11, 5)
        meter, pty_path = self.box.start_meter("--file", boards_file, "--start", "1", "--rate", str(RATE),
                                               "--count", str(len(lines)), "--wait-open")
        write_config(self.box.cfg_file, self.config(pty_path))
        vur = self.box.start_vur()

        for index, (kiln, run, pkg, values) in enumerate(PACKAGES):
            path = self.record_path(kiln, run, pkg)
            # The program's own record of its last board of the package; then the statistics are refreshed.
            self.box.wait_for_log(r"prefix=a: writing %d boards to %s " % (len(values), re.escape(path)))
            self.wait_for_refreshes()
            if index + 1 < len(PACKAGES):
                nk, nr, np_, _ = PACKAGES[index + 1]
                self.set_numbers(nk, nr, np_)
                self.box.wait_for_log(r"prefix=a: \d+ boards in pkg: k=%d r=%d, p=%d: " % (nk, nr, np_))
        self.assertEqual(self.box.stop(vur), 0)

        log = self.box.log()
        self.assertNotIn("An error occurred.", log)
        # Each package in its own file, whole and in order; no board lost, none counted twice.
        for kiln, run, pkg, values in PACKAGES:
            self.assertEqual(self.read_record(kiln, run, pkg), package_text(values), "package %d_%03d%03d" % (kiln, run, pkg))
        self.assertEqual(self.read_record(6, 11, 0), summary_text(PACKAGES[0][3]))
        run12 = [v for k, r, _, values in PACKAGES if (k, r) == (7, 12) for v in values]
        self.assertEqual(self.read_record(7, 12, 0), summary_text(run12))
        # The first change had nothing on disk to read back; the later ones read the run's packages.
        self.assertIn("prefix=a: 300 boards in run: k=7 r=12: " + one_decimal_list(run12[:300]) + "\n", log)
        self.assertIn("prefix=a: 0 boards in pkg: k=7 r=12, p=3: \n", log)
        with open(self.box.cfg_file) as f:
            saved = dict(re.findall(r'<VALUE name="(a_last_\w+)" val="(\d+)"', f.read()))
        self.assertEqual(saved, {"a_last_kiln": "7", "a_last_run": "12", "a_last_pkg": "3"})

        before = self.records_on_disk()
        meter.wait(timeout=10)

        # A restart on a meter that stays silent: the figures come back from the files alone, and the files
        # written again at the end are the same bytes.
        silent = os.path.join(self.box.root, "silent.txt")
        with open(silent, "w") as f:
            f.write("\n")
        _, pty_path = self.box.start_meter("--file", silent, "--rate", "0.001")
        write_config(self.box.cfg_file, dict(self.config(pty_path), a_last_kiln="7", a_last_run="12", a_last_pkg="3"))
        mark = len(self.box.log())
        vur = self.box.start_vur()
        self.box.wait_for_log(r"prefix=a: import has finished loading %d boards" % len(run12))
        self.wait_for_refreshes()
        self.assertEqual(self.box.stop(vur), 0)

        restart_log = self.box.log()[mark:]
        self.assertIn("prefix=a: %d boards in run: k=7 r=12: %s\n" % (len(run12), one_decimal_list(run12)), restart_log)
        self.assertIn("prefix=a: 300 boards in pkg: k=7 r=12, p=3: %s\n" % one_decimal_list(PACKAGES[3][3]), restart_log)
        after = self.records_on_disk()
        self.assertEqual(after, before)


if __name__ == "__main__":
    unittest.main()
