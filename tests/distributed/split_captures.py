"""What the tests of the split-run drivers share: a synthesised capture cut into rotated pieces, one
wiretally run over all of them, a driver's run, and the comparison of two runs' result files byte for
byte."""

import filecmp
import os
import socket
import struct
import subprocess

PIECES = 7
OPTIONS = ["--all", "-e", "--json", "--report"]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def rotated_pieces(synth, folder):
    """A capture with IPv6, tunnels, jumbo and cut frames and every anomaly, cut into PIECES files of
    consecutive records, as a ring buffer writes them."""
    whole = os.path.join(folder, "whole.pcap")
    subprocess.run([synth, "--size", "1M", "--seed", "13", "--ipv6", "0.3", "--jumbo", "0.05", "--truncate",
                    "0.01", "--loss", "0.02", "--reorder", "0.02", "--duplicate", "0.02", "--retransmit", "0.02",
                    "--concurrency", "16", "--max-transfer", "32K", "--tunnel", "mix", "--output", whole],
                   check=True, capture_output=True)
    with open(whole, "rb") as capture:
        data = capture.read()
    header, records, at = data[:24], [], 24
    while at < len(data):
        length = struct.unpack_from("<I", data, at + 8)[0]
        records.append(data[at:at + 16 + length])
        at += 16 + length
    names = []
    for piece in range(PIECES):
        name = os.path.join(folder, "piece%d.pcap" % piece)
        with open(name, "wb") as out:
            out.write(header + b"".join(records[len(records) * piece // PIECES:len(records) * (piece + 1) // PIECES]))
        names.append(name)
    return names


def one_run(wiretally, prefix, pieces):
    arguments = [wiretally, "-o", prefix] + OPTIONS + ["--threads", "1"]
    for piece in pieces:
        arguments += ["-i", piece]
    return subprocess.run(arguments, capture_output=True, text=True, check=False)


def assert_same_files(test, expected, actual):
    """Every result file of the prefix `actual` holds the bytes of that of `expected`."""
    folder = os.path.dirname(expected)
    names = sorted(name for name in os.listdir(folder) if name.startswith(os.path.basename(expected) + "."))
    twins = sorted(name for name in os.listdir(folder) if name.startswith(os.path.basename(actual) + "."))
    test.assertEqual(len(names), 22)
    test.assertEqual(len(twins), len(names), twins)
    for name in names:
        twin = os.path.basename(actual) + name[len(os.path.basename(expected)):]
        test.assertTrue(filecmp.cmp(os.path.join(folder, name), os.path.join(folder, twin), shallow=False), twin)


def run_driver(driver, binary, prefix, pieces, engine=()):
    """The driver in three groups, with the options of one_run and `engine`'s own arguments."""
    arguments = [driver] + list(engine) + ["--groups", "3", "--binary", binary, "-o", prefix] + OPTIONS
    for piece in pieces:
        arguments += ["-i", piece]
    return subprocess.run(arguments, capture_output=True, text=True, check=False, timeout=300)


def assert_same_as_one_run(test, wiretally, folder, pieces, name, run):
    """One run and `run(prefix)` over `pieces` in a folder of their own write the same files, and the
    driver removes its work folder after a run that succeeded."""
    os.mkdir(os.path.join(folder, name))
    prefix = os.path.join(folder, name, "run")
    one = one_run(wiretally, prefix + "-one", pieces)
    test.assertEqual(one.returncode, 0, one.stderr)
    split = run(prefix + "-split")
    test.assertEqual(split.returncode, 0, split.stderr)
    assert_same_files(test, prefix + "-one", prefix + "-split")
    test.assertEqual([entry for entry in os.listdir(os.path.dirname(prefix)) if entry.startswith(".wiretally-work-")],
                     [], "the work folder is removed after a run that succeeded")
