"""The monitor killed outright at random moments while boards flow into its board history: the database is
whole after every kill, and every board of the package file on disk is in it.

VUR_HISTORY_KILLS sets the number of kills (20 by default; the reliability figure is taken with 100)."""

import os
import random
import re
import signal
import sqlite3
import time
import unittest

from harness import Sandbox, write_config

ROUNDS = int(os.environ.get("VUR_HISTORY_KILLS", "20"))
RATE = 400  # boards per second: a package file write every quarter of a second


def package_count(path):
    with open(path, "rb") as f:
        return int(f.readline().split(b",")[0])


class HistoryCrashTest(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox("history-crash")
        self.package = os.path.join(self.box.records, str(time.localtime().tm_year), "3_007009.mc")
        self.database = os.path.join(self.box.root, "history", "boards.sqlite")

    def tearDown(self):
        self.box.close()

    def test_killed_while_boards_flow(self):
        rng = random.Random(os.environ.get("VUR_TEST_SEED", time.time()))
        stored_after_file = []
        for round_number in range(ROUNDS):
            meter, pty_path = self.box.start_meter("--rate", str(RATE), "--wait-open")
            write_config(self.box.cfg_file, dict(
                get_version_number="FALSE", get_motd="FALSE", VODAze="40 40 900 600",
                opc_console_application="vur-no-such-console",
                output_directory=self.box.records + "/%Y/", board_history_file=self.database,
                a_device=pty_path, a_run_simulation="false", a_interval_ms="20", a_read_len="4096",
                a_chart_redraw_ms="1000", a_last_kiln="3", a_last_run="7", a_last_pkg="9"))
            for log in (self.box.log_file, self.box.log_file + ".old"):
                if os.path.exists(log):
                    os.remove(log)

            vur = self.box.start_vur()
            # Kill only once this round has written the package file: the boards are flowing.
            self.box.wait_for_log(r"prefix=a: writing \d+ boards to .*3_007009\.mc")
            time.sleep(rng.uniform(0.05, 1.5))
            vur.send_signal(signal.SIGKILL)
            vur.wait(timeout=10)
            self.box.stop(meter)

            db = sqlite3.connect(self.database)
            try:
                self.assertEqual(db.execute("PRAGMA integrity_check").fetchall(), [("ok",)], "round %d" % round_number)
                stored = db.execute("SELECT count(*) FROM boards WHERE kiln = 3 AND run = 7 AND package = 9").fetchone()[0]
            finally:
                db.close()
            # The package file holds every board counted so far (each start imports it and goes on); the
            # database holds every board counted, each once.
            in_file = package_count(self.package)
            self.assertGreaterEqual(stored, in_file, "round %d: %d boards in the package file, %d in the database"
                                    % (round_number, in_file, stored))
            stored_after_file.append(stored - in_file)

        print("\n%d kills: database whole every time; %d boards in the package file, all in the database "
              "(database ahead of the file by %d boards at most)" % (ROUNDS, in_file, max(stored_after_file)))


if __name__ == "__main__":
    unittest.main()
