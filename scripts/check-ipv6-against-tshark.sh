#!/usr/bin/env bash
# Compares the TCP-over-IPv6 flows that wiretally --ipv6 writes to its flow table with tshark's view of the
# same captures, conversation by conversation: flows, packets and bytes (frame lengths) each way, and the
# text of the addresses. tshark frames that wiretally leaves out by design are set aside with the reason:
# TCP nested inside another IP layer (a tunnel, an ICMPv6 error), frames behind two or more VLAN tags,
# IPv6 fragments other than atomic ones, more than 8 extension headers, and a fixed TCP header that was not
# captured whole. A reused 4-tuple is one flow for wiretally, possibly several tcp.stream for tshark.
# For every capture with IPv6 TCP it also checks that --threads 2 --max-memory 1M writes the same files
# as --threads 1.
#
# Usage: scripts/check-ipv6-against-tshark.sh DIR BINARY [WORKDIR]
#   DIR      captures (pcap, pcapng, possibly gzip-compressed), searched with its sub-folders
#   BINARY   the wiretally to check
#   WORKDIR  where the runs write their results, one folder per capture (default /tmp/ipv6check)
# Environment: CHECK_TIMEOUT seconds per tshark or wiretally run (default 60); a capture whose tshark run
# takes longer is skipped.
# Prints per capture with IPv6 TCP (by either tool): flows wiretally/tshark (tshark: its TCP streams),
# segments wiretally/tshark, what wiretally should count (expected), the frames set aside, and every
# conversation that differs. Exit status: 0 when nothing differs beyond
# what is set aside, 1 otherwise, 2 on wrong usage.
set -uo pipefail

if [[ $# -lt 2 || $# -gt 3 || ! -d "$1" || ! -x "$2" ]]; then
    echo "Usage: $0 DIR BINARY [WORKDIR]" >&2
    exit 2
fi
command -v tshark >/dev/null || { echo "tshark is not installed" >&2; exit 2; }

exec python3 - "$(cd "$1" && pwd)" "$(realpath "$2")" "${3:-/tmp/ipv6check}" "${CHECK_TIMEOUT:-60}" <<'PYTHON'
import collections
import csv
import filecmp
import ipaddress
import os
import subprocess
import sys

folder, binary, workdir, limit = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])

# Layers tshark names for IPv6 extension headers that wiretally walks.
EXTENSIONS = {"ipv6.hopopts", "ipv6.routing", "ipv6.dstopts", "ipv6.fraghdr", "ah", "ipv6.shim6", "mipv6",
              "hip"}
MOST_EXTENSIONS = 8
FIELDS = ["frame.number", "frame.len", "frame.protocols", "ipv6.src", "ipv6.dst", "tcp.srcport",
          "tcp.dstport", "tcp.stream", "tcp.urgent_pointer", "ipv6.fraghdr.offset", "ipv6.fraghdr.more"]


def run(arguments):
    """Runs a command; returns its standard output, or None when it failed or took too long."""
    try:
        done = subprocess.run(arguments, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=limit, text=True)
    except subprocess.TimeoutExpired:
        return None
    return done.stdout if done.returncode == 0 else None


def endpoint(address, port):
    return (int(ipaddress.IPv6Address(address)), int(port))


def why_left_out(row):
    """The reason wiretally does not count this tshark frame, or None when it should count it."""
    layers = row["frame.protocols"].split(":")
    tcp = layers.index("tcp") if "tcp" in layers else len(layers)
    network = [i for i, layer in enumerate(layers) if layer in ("ip", "ipv6")]
    if not network or layers[network[0]] != "ipv6" or [i for i in network if i < tcp] != [network[0]]:
        return "TCP nested inside another IP layer (tunnel or ICMPv6 error)"
    if sum(layer in ("vlan", "ieee8021ad") for layer in layers[:network[0]]) >= 2:
        return "behind two or more VLAN tags"
    between = layers[network[0] + 1:tcp]
    if any(layer not in EXTENSIONS for layer in between):
        return "unexpected layers between IPv6 and TCP: " + ":".join(between)
    offsets, more = row["ipv6.fraghdr.offset"], row["ipv6.fraghdr.more"]
    if offsets and (any(o not in ("", "0") for o in offsets.split(","))
                    or any(m in ("1", "True") for m in more.split(","))):
        return "IPv6 fragment"
    if len(between) > MOST_EXTENSIONS:
        return "more than 8 extension headers"
    if not row["tcp.urgent_pointer"] or "," in row["ipv6.src"]:
        return "fixed TCP header not captured whole"
    return None


def compare(capture, name):
    """Prints the comparison of one capture; returns (summary numbers, number of differences) or None."""
    out = os.path.join(workdir, name)
    os.makedirs(out, exist_ok=True)
    arguments = [binary, "--ipv6", "-e", "--flow-table", "-i", capture]
    if run(arguments + ["--threads", "1", "-o", os.path.join(out, "out")]) is None:
        print(f"{name}: wiretally failed or took longer than {limit}s")
        return None
    with open(os.path.join(out, "out.Flows.csv"), newline="") as table:
        flows = [r for r in csv.DictReader(table) if ":" in r["src_addr"]]

    text = run(["tshark", "-n", "-r", capture, "-Y", "ipv6 && tcp", "-T", "fields", "-E", "separator=/t",
                "-E", "occurrence=a", "-E", "aggregator=,"] + sum([["-e", f] for f in FIELDS], []))
    if text is None:
        # tshark cannot read some link types; only worth a line when wiretally found IPv6 flows there.
        if flows:
            print(f"{name}: skipped, tshark failed or took longer than {limit}s;"
                  f" wiretally found {len(flows)} IPv6 flow(s)")
            return {"flows wiretally": len(flows)}, 1
        return None
    frames = [dict(zip(FIELDS, line.split("\t"))) for line in text.splitlines() if line]
    if not frames and not flows:
        return None

    # tshark's conversations, by unordered endpoint pair.
    expected = collections.defaultdict(lambda: {"packets": collections.Counter(),
                                                "bytes": collections.Counter(), "streams": set()})
    left_out = collections.Counter()
    left_out_frames = collections.defaultdict(list)
    streams, texts = set(), {}
    for row in frames:
        streams.add(row["tcp.stream"])
        reason = why_left_out(row)
        if reason:
            left_out[reason] += 1
            left_out_frames[reason].append(row["frame.number"])
            continue
        source = endpoint(row["ipv6.src"], row["tcp.srcport"])
        destination = endpoint(row["ipv6.dst"], row["tcp.dstport"])
        pair = tuple(sorted((source, destination)))
        texts[source[0]] = row["ipv6.src"]
        texts[destination[0]] = row["ipv6.dst"]
        conversation = expected[pair]
        conversation["packets"][(source, destination)] += 1
        conversation["bytes"][(source, destination)] += int(row["frame.len"])
        conversation["streams"].add(row["tcp.stream"])

    # wiretally's flows, by the same pair.
    found = collections.defaultdict(list)
    differences = []
    for flow in flows:
        source = endpoint(flow["src_addr"], flow["src_port"])
        destination = endpoint(flow["dst_addr"], flow["dst_port"])
        found[tuple(sorted((source, destination)))].append((source, destination, flow))
        for number, written in ((source[0], flow["src_addr"]), (destination[0], flow["dst_addr"])):
            if number in texts and texts[number] != written:
                differences.append(f"address text: wiretally {written}, tshark {texts[number]}")

    notes = []
    for pair in sorted(set(expected) | set(found)):
        label = " <-> ".join(f"[{ipaddress.IPv6Address(a)}]:{p}" for a, p in pair)
        want = expected.get(pair)
        got = found.get(pair, [])
        if want and len(want["streams"]) > 1:
            notes.append(f"{label}: one 4-tuple, {len(want['streams'])} tshark streams")
        if want is None:
            differences.append(f"{label}: wiretally {len(got)} flow(s), tshark no counted segment")
            continue
        if len(got) != 1:
            differences.append(f"{label}: wiretally {len(got)} flows, expected 1")
            continue
        source, destination, flow = got[0]
        ours = {(source, destination): (int(flow["packets_fwd"]), int(flow["bytes_fwd"])),
                (destination, source): (int(flow["packets_rev"]), int(flow["bytes_rev"]))}
        for way, (packets, volume) in ours.items():
            theirs = (want["packets"][way], want["bytes"][way])
            if (packets, volume) != theirs:
                direction = "fwd" if way == (source, destination) else "rev"
                differences.append(f"{label} {direction}: wiretally {packets} packets {volume} B, "
                                   f"tshark {theirs[0]} packets {theirs[1]} B")

    numbers = {
        "flows wiretally": len(flows),
        "flows tshark": len(streams),
        "flows expected": len(expected),
        "segments wiretally": sum(int(f["packets_fwd"]) + int(f["packets_rev"]) for f in flows),
        "segments tshark": len(frames),
        "segments expected": sum(sum(c["packets"].values()) for c in expected.values()),
    }
    print(f"{name}: flows wiretally/tshark {numbers['flows wiretally']}/{numbers['flows tshark']}"
          f" (expected {numbers['flows expected']}), segments wiretally/tshark"
          f" {numbers['segments wiretally']}/{numbers['segments tshark']}"
          f" (expected {numbers['segments expected']})")
    for reason, count in sorted(left_out.items()):
        shown = ",".join(left_out_frames[reason][:8]) + ("..." if count > 8 else "")
        print(f"    set aside: {count} frame(s) {reason} (frames {shown})")
    for note in notes:
        print(f"    note: {note}")

    # The same results from two threads and a small memory budget that moves segments to files.
    parallel = os.path.join(out, "threads2")
    os.makedirs(parallel, exist_ok=True)
    if run(arguments + ["--threads", "2", "--max-memory", "1M", "-o", os.path.join(parallel, "out")]) is None:
        differences.append("--threads 2 --max-memory 1M run failed")
    else:
        written = sorted(f for f in os.listdir(out) if f.startswith("out."))
        again = sorted(f for f in os.listdir(parallel) if f.startswith("out."))
        if written != again:
            differences.append(f"--threads 2 wrote other files: {again} instead of {written}")
        for result in written:
            if result in again and not filecmp.cmp(os.path.join(out, result), os.path.join(parallel, result),
                                                   shallow=False):
                differences.append(f"--threads 2 --max-memory 1M: {result} differs from --threads 1")
    for difference in differences:
        print(f"    DIFFERS: {difference}")
    return numbers, len(differences)


totals = collections.Counter()
captures_with_tcp, differing = [], 0
paths = []
for root, _, files in os.walk(folder):
    paths += [os.path.join(root, f) for f in files if not f.endswith((".md", ".txt"))]
for capture in sorted(paths):
    name = os.path.relpath(capture, folder).replace(os.sep, "_")
    result = compare(capture, name)
    if result is None:
        continue
    numbers, count = result
    captures_with_tcp.append(name)
    totals.update(numbers)
    differing += count

print()
print(f"{len(captures_with_tcp)} of {len(paths)} captures hold IPv6 TCP by either tool.")
print(f"Flows wiretally/tshark {totals['flows wiretally']}/{totals['flows tshark']}"
      f" (expected {totals['flows expected']}); segments wiretally/tshark"
      f" {totals['segments wiretally']}/{totals['segments tshark']} (expected {totals['segments expected']}).")
print(f"{differing} difference(s) beyond the frames set aside.")
sys.exit(1 if differing else 0)
PYTHON
