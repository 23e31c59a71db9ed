#!/usr/bin/python3
"""wiretally-slurm against a real single-node Slurm cluster that the test starts as root and stops whatever
happens: munged, slurmctld and slurmd on 127.0.0.1 with a configuration of their own. On seven rotated
captures in three groups the result files are those of one run over the seven; a group whose map fails
stops the run with that step's status and message.

Usage: slurm_run_test.py WIRETALLY WIRETALLY_SLURM WIRETALLY_SYNTH
"""

import atexit
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from split_captures import assert_same_as_one_run, free_port, rotated_pieces, run_driver

WIRETALLY, DRIVER, SYNTH = (os.path.abspath(path) for path in sys.argv[1:4])
DAEMONS = ["munged", "slurmctld", "slurmd"]

# The node claims more processors than it has, so that the short tasks of an array overlap: a 64-task
# array then takes seconds instead of half a minute.
CONFIGURATION = """ClusterName=wiretally-test
SlurmctldHost={host}(127.0.0.1)
SlurmctldPort={controller_port}
SlurmdPort={daemon_port}
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket={folder}/munge.socket
StateSaveLocation={folder}/state
SlurmdSpoolDir={folder}/spool
SlurmctldPidFile={folder}/slurmctld.pid
SlurmdPidFile={folder}/slurmd.pid
SlurmctldLogFile={folder}/slurmctld.log
SlurmdLogFile={folder}/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerParameters=batch_sched_delay=0
SlurmdParameters=config_overrides
ReturnToService=2
MpiDefault=none
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
NodeName={host} NodeAddr=127.0.0.1 CPUs=16 State=UNKNOWN
PartitionName=main Nodes=ALL Default=YES MaxTime=INFINITE State=UP OverSubscribe=YES
"""


def stop_daemons(folder):
    for daemon in reversed(DAEMONS):
        try:
            with open(os.path.join(folder, daemon + ".pid")) as pid_file:
                os.kill(int(pid_file.read().split()[0]), signal.SIGKILL)
        except (OSError, ValueError):
            pass


@unittest.skipUnless(os.geteuid() == 0, "the Slurm daemons of the test run as root")
class SlurmRunTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="wiretally-slurm-test-")
        os.chmod(cls.folder, 0o755)
        # Stopped at the end of the process whatever happens, also when this set-up fails half way.
        atexit.register(stop_daemons, cls.folder)
        cls.addClassCleanup(stop_daemons, cls.folder)
        for sub in ("state", "spool"):
            os.mkdir(os.path.join(cls.folder, sub))
        key = os.path.join(cls.folder, "munge.key")
        with open(key, "wb") as out:
            out.write(os.urandom(1024))
        os.chmod(key, 0o400)
        subprocess.run(["munged", "--force", "--key-file", key, "--socket", cls.folder + "/munge.socket",
                        "--log-file", cls.folder + "/munge.log", "--pid-file", cls.folder + "/munged.pid",
                        "--seed-file", cls.folder + "/munge.seed"], check=True)
        configuration = os.path.join(cls.folder, "slurm.conf")
        controller_port = free_port()
        with open(configuration, "w") as out:
            out.write(CONFIGURATION.format(host=socket.gethostname().split(".")[0], folder=cls.folder,
                                           controller_port=controller_port, daemon_port=free_port()))
        os.environ["SLURM_CONF"] = configuration
        subprocess.run(["slurmctld", "-f", configuration], check=True)
        subprocess.run(["slurmd", "-f", configuration], check=True)
        for _ in range(300):
            idle = subprocess.run(["sinfo", "-h", "-o", "%t"], capture_output=True, text=True, check=False)
            if idle.stdout.strip() == "idle":
                break
            time.sleep(0.1)
        else:
            raise RuntimeError("the Slurm node did not come up: " + idle.stdout + idle.stderr)
        cls.pieces = rotated_pieces(SYNTH, cls.folder)

    @classmethod
    def tearDownClass(cls):
        stop_daemons(cls.folder)
        shutil.rmtree(cls.folder, ignore_errors=True)

    def driver(self, prefix, pieces):
        return run_driver(DRIVER, WIRETALLY, prefix, pieces)

    def test_the_files_are_those_of_one_run(self):
        assert_same_as_one_run(self, WIRETALLY, self.folder, self.pieces, "same",
                               lambda prefix: self.driver(prefix, self.pieces))

    def test_a_failed_map_stops_the_run_with_its_status_and_message(self):
        pieces = list(self.pieces)
        pieces[3] = os.path.join(self.folder, "missing.pcap")
        split = self.driver(os.path.join(self.folder, "failed"), pieces)
        self.assertEqual(split.returncode, 254, split.stderr)
        # The capture's message is on standard output, as one run writes it.
        self.assertIn("missing.pcap", split.stdout)
        self.assertIn("map-1 ended with status 254", split.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.folder, "failed.Summary.txt")))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
