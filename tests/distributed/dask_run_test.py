#!/usr/bin/python3
"""wiretally-dask against a real Dask cluster: a scheduler and two workers started as processes of their own
on 127.0.0.1. On seven rotated captures with IPv6, tunnels, cut frames and every anomaly, in three groups,
the result files are those of one run over the seven; so they are when a worker is killed while it maps a
group; and a damaged record in the third group gives one run's partial result and its status 254.

Usage: dask_run_test.py WIRETALLY WIRETALLY_DASK WIRETALLY_SYNTH
"""

import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from split_captures import (OPTIONS, PIECES, assert_same_as_one_run, assert_same_files, free_port, one_run,
                            rotated_pieces, run_driver)

WIRETALLY, DRIVER, SYNTH = (os.path.abspath(path) for path in sys.argv[1:4])


class DaskRunTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="wiretally-dask-test-")
        cls.pieces = rotated_pieces(SYNTH, cls.folder)
        port = free_port()
        cls.scheduler = "tcp://127.0.0.1:%d" % port
        cls.processes = [subprocess.Popen(["dask", "scheduler", "--host", "127.0.0.1", "--port", str(port),
                                           "--no-dashboard"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
        cls.workers = []
        for _ in range(2):
            cls.start_worker()
        from dask.distributed import Client
        with Client(cls.scheduler, timeout=30) as client:
            client.wait_for_workers(2, timeout=30)

    @classmethod
    def start_worker(cls):
        worker = subprocess.Popen(["dask", "worker", cls.scheduler, "--nworkers", "1", "--nthreads", "1", "--no-nanny",
                                   "--no-dashboard", "--host", "127.0.0.1"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        cls.processes.append(worker)
        cls.workers.append(worker)

    @classmethod
    def tearDownClass(cls):
        for process in reversed(cls.processes):
            process.kill()
            process.wait()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def driver(self, prefix, pieces, binary=WIRETALLY):
        return run_driver(DRIVER, binary, prefix, pieces, ["--scheduler", self.scheduler])

    def test_the_files_are_those_of_one_run(self):
        assert_same_as_one_run(self, WIRETALLY, self.folder, self.pieces, "same",
                               lambda prefix: self.driver(prefix, self.pieces))

    def test_a_worker_killed_while_it_maps_changes_nothing(self):
        # The map of group 1 waits on its first try until the worker running it is killed.
        marker = os.path.join(self.folder, "killed")
        wrapper = os.path.join(self.folder, "slow-wiretally")
        with open(wrapper, "w") as script:
            script.write('#!/bin/sh\nif [ "$1 $5" = "map 1" ] && [ ! -e %s ]; then echo $PPID > %s.pid; sleep 60; fi\n'
                         'exec %s "$@"\n' % (marker, marker, WIRETALLY))
        os.chmod(wrapper, 0o755)
        prefix = os.path.join(self.folder, "killed")
        one = one_run(WIRETALLY, prefix + "-one", self.pieces)
        self.assertEqual(one.returncode, 0, one.stderr)
        driver = subprocess.Popen([DRIVER, "--scheduler", self.scheduler, "--groups", "3", "--binary", wrapper, "-o",
                                   prefix + "-dask"] + OPTIONS + [a for p in self.pieces for a in ("-i", p)],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        for _ in range(600):
            if os.path.exists(marker + ".pid") and os.path.getsize(marker + ".pid") > 0:
                break
            time.sleep(0.1)
        with open(marker + ".pid") as pid:
            worker = int(pid.read())
        open(marker, "w").close()
        os.kill(worker, signal.SIGKILL)
        subprocess.run(["pkill", "-f", "sleep 60"], check=False)
        self.start_worker()
        out, err = driver.communicate(timeout=300)
        self.assertEqual(driver.returncode, 0, err)
        assert_same_files(self, prefix + "-one", prefix + "-dask")

    def test_a_damaged_record_in_the_third_group_ends_as_one_run_ends(self):
        pieces = [os.path.join(self.folder, "damaged%d.pcap" % index) for index in range(PIECES)]
        for piece, copy in zip(self.pieces, pieces):
            shutil.copyfile(piece, copy)
        # A record in the middle of the sixth piece claims more bytes than any frame holds.
        with open(pieces[5], "r+b") as capture:
            data = capture.read()
            at, records = 24, 0
            while records < 40:
                at += 16 + struct.unpack_from("<I", data, at + 8)[0]
                records += 1
            capture.seek(at + 8)
            capture.write(struct.pack("<I", 0x7FFFFFFF))
        prefix = os.path.join(self.folder, "damaged")
        one = one_run(WIRETALLY, prefix + "-one", pieces)
        self.assertEqual(one.returncode, 254, one.stderr)
        split = self.driver(prefix + "-dask", pieces)
        self.assertEqual(split.returncode, 254, split.stderr)
        self.assertIn(one.stderr.splitlines()[-1], split.stderr)
        self.assertIn("Reading stopped at a damaged record", one.stderr)
        assert_same_files(self, prefix + "-one", prefix + "-dask")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
