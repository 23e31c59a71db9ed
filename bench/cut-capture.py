#!/usr/bin/python3
"""Cuts a classic pcap capture into PIECES files of consecutive records, as a ring buffer writes them, named
FOLDER/piece-N.pcap, for the benchmark of a run split over machines.

Usage: cut-capture.py CAPTURE PIECES FOLDER"""

import os
import struct
import sys


def main():
    capture, pieces, folder = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    os.makedirs(folder, exist_ok=True)
    with open(capture, "rb") as source:
        header = source.read(24)
        # The records' start offsets first, then the pieces copied by range.
        starts, at = [], 24
        size = os.path.getsize(capture)
        while at < size:
            source.seek(at + 8)
            starts.append(at)
            at += 16 + struct.unpack("<I", source.read(4))[0]
        starts.append(size)
        for piece in range(pieces):
            first = starts[len(starts[:-1]) * piece // pieces]
            end = starts[len(starts[:-1]) * (piece + 1) // pieces]
            with open(os.path.join(folder, "piece-%d.pcap" % piece), "wb") as out:
                out.write(header)
                source.seek(first)
                left = end - first
                while left:
                    block = source.read(min(left, 1 << 24))
                    out.write(block)
                    left -= len(block)


if __name__ == "__main__":
    main()
