"""Reads a flow table file with the csv module and checks every row; prints "<n> rows" when all is well.

Usage: python3 FlowTableCheck.py PREFIX.Flows.csv
"""

import csv
import datetime
import sys

HEADER = [
    "flow", "src_addr", "src_port", "dst_addr", "dst_port", "first_time", "last_time", "duration_s",
    "packets_fwd", "packets_rev", "bytes_fwd", "bytes_rev", "gaps", "out_of_order", "duplicates", "simplex",
]
COUNTS = ["packets_fwd", "packets_rev", "bytes_fwd", "bytes_rev", "gaps", "out_of_order", "duplicates"]
TIME_FORMAT = "%Y-%m-%dT%H:%M:%S.%fZ"


def fail(line, message):
    sys.exit(f"{sys.argv[1]}, line {line}: {message}")


def micros(text):
    whole, _, fraction = text.partition(".")
    if not whole.isdigit() or len(fraction) != 6 or not fraction.isdigit():
        raise ValueError(f"not seconds with six decimals: {text!r}")
    return int(whole) * 1_000_000 + int(fraction)


def main():
    with open(sys.argv[1], newline="") as table:
        reader = csv.reader(table, strict=True)
        header = next(reader, None)
        if header != HEADER:
            fail(1, f"header {header!r}")
        rows = 0
        for row in reader:
            line = reader.line_num
            if len(row) != len(HEADER):
                fail(line, f"{len(row)} fields")
            field = dict(zip(HEADER, row))
            try:
                for name in COUNTS + ["src_port", "dst_port"]:
                    if not field[name].isdigit():
                        raise ValueError(f"{name} is not a count: {field[name]!r}")
                first = datetime.datetime.strptime(field["first_time"], TIME_FORMAT)
                last = datetime.datetime.strptime(field["last_time"], TIME_FORMAT)
                span = last - first
                if micros(field["duration_s"]) != span // datetime.timedelta(microseconds=1):
                    raise ValueError(f"duration {field['duration_s']} is not last_time - first_time")
            except ValueError as error:
                fail(line, error)
            expected_flow = "TCP {src_addr}:{src_port} -> {dst_addr}:{dst_port}".format(**field)
            if field["flow"] != expected_flow:
                fail(line, f"flow {field['flow']!r} is not {expected_flow!r}")
            if int(field["packets_fwd"]) == 0:
                fail(line, "a flow has at least its first packet forward")
            simplex = "1" if int(field["packets_rev"]) == 0 else "0"
            if field["simplex"] != simplex:
                fail(line, f"simplex {field['simplex']!r} with {field['packets_rev']} reverse packets")
            rows += 1
    print(f"{rows} rows")


if __name__ == "__main__":
    main()
