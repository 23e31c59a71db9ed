#!/usr/bin/env bash
# Compares the TCP flows that wiretally --ipv6 --tunnels writes to its flow table with tshark's view of the
# same captures, conversation by conversation: packets and bytes (frame lengths) each way between the
# innermost endpoints, and the text of the addresses. tshark's TCP is its innermost one: the last address
# and port of each frame. Each tshark frame's layers are walked the way wiretally walks encapsulations
# (stacked VLAN tags, MPLS and Ethernet pseudowires with a control word, PPPoE, 802.1ah, LLC/SNAP, GRE
# version 0 with ERSPAN, IP in IP, VXLAN, Geneve and GTP-U), and the frames wiretally leaves out are set
# aside with the reason: TCP quoted in an ICMP error, link types and tunnels it does not follow (L2TP,
# Teredo, PPTP, CAPWAP, NSH, sFlow, ...), more than 8 encapsulations, IP fragments at any depth, IPv6
# extension chains over 8 headers, and a fixed TCP header that was not captured whole. A frame whose TCP
# carries IP that tshark decodes counts at that outer TCP, where wiretally stops.
# tshark takes a pseudowire's zero control word for the start of the Ethernet header, so a capture in which
# its heuristic finds pseudowires is read a second time with their bottom labels decoded as Ethernet
# pseudowires with a control word (-d mpls.label==L,pwethcw); a frame counts in that reading only when the
# first one found no TCP in it. tshark's other defaults already decode every encapsulation wiretally
# follows, ERSPAN types I to III included. tshark does not look behind a UDP length of 0, which a tunnelled
# packet over 64 KiB (BIG TCP, GSO) carries: a wiretally flow made only of such frames, matched by their
# capture times, is set aside too.
# For every capture with tunnelled TCP it also checks that --threads 2 --max-memory 1M writes the same files
# as --threads 1.
#
# Usage: scripts/check-tunnels-against-tshark.sh DIR BINARY [WORKDIR]
#   DIR      captures (pcap, pcapng, possibly gzip-compressed), searched with its sub-folders
#   BINARY   the wiretally to check
#   WORKDIR  where the runs write their results, one folder per capture (default /tmp/tunnelcheck)
# Environment: CHECK_TIMEOUT seconds per tshark or wiretally run (default 60); a capture whose tshark run
# takes longer is skipped.
# Prints per capture with TCP (by either tool): flows wiretally/expected, segments wiretally/tshark, what
# wiretally should count (expected), the frames set aside, and every conversation that differs.
# Exit status: 0 when nothing differs beyond what is set aside, 1 otherwise, 2 on wrong usage.
set -uo pipefail

if [[ $# -lt 2 || $# -gt 3 || ! -d "$1" || ! -x "$2" ]]; then
    echo "Usage: $0 DIR BINARY [WORKDIR]" >&2
    exit 2
fi
command -v tshark >/dev/null || { echo "tshark is not installed" >&2; exit 2; }

exec python3 - "$(cd "$1" && pwd)" "$(realpath "$2")" "${3:-/tmp/tunnelcheck}" "${CHECK_TIMEOUT:-60}" <<'PYTHON'
import collections
import csv
import datetime
import filecmp
import ipaddress
import os
import subprocess
import sys

folder, binary, workdir, limit = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])

MOST_ENCAPSULATIONS = 8
MOST_TAGS = 4
MOST_LABELS = 8
MOST_EXTENSIONS = 8
# Link headers wiretally reads, as tshark names them; under the raw link types tshark names the IP layer
# itself first.
LINKS = {"eth", "sll", "null", "loop", "raw"}
NETWORK = {"ip", "ipv6"}
TAGS = {"vlan", "ieee8021ad"}
EXTENSIONS = {"ipv6.hopopts", "ipv6.routing", "ipv6.dstopts", "ipv6.fraghdr", "ah", "ipv6.shim6", "mipv6",
              "hip"}
PSEUDOWIRE = {"pwethheuristic", "pwethcw"}
GRE_CARRIES = {0x0800, 0x86DD, 0x6558, 0x88BE, 0x22EB}
GRE_FLAGS = 0x8000 | 0x2000 | 0x1000  # checksum, key, sequence number; version 0
UDP_TUNNELS = {"vxlan": 4789, "geneve": 6081, "gtp": 2152}
FIELDS = ["frame.number", "frame.len", "frame.time_epoch", "frame.protocols", "eth.type", "sll.etype",
          "ip.src", "ip.dst", "ip.flags.mf", "ip.frag_offset", "ipv6.src", "ipv6.dst", "ipv6.fraghdr.offset",
          "ipv6.fraghdr.more", "tcp.srcport", "tcp.dstport", "tcp.urgent_pointer", "udp.dstport",
          "udp.length", "gre.flags_and_version", "gre.proto", "gtp.flags", "gtp.message", "geneve.version",
          "pppoe.version", "pppoe.type", "pppoe.code", "ppp.protocol", "llc.dsap", "llc.oui", "mpls.label",
          "mpls.bottom"]


def run(arguments):
    """Runs a command; returns its standard output, or None when it failed or took too long."""
    try:
        done = subprocess.run(arguments, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=limit, text=True)
    except subprocess.TimeoutExpired:
        return None
    return done.stdout if done.returncode == 0 else None


def tshark_rows(capture, hints=()):
    # The pseudowire heuristic leaves no field of its own, only its name among the frame's protocols. tshark
    # dissects nothing behind a UDP length of 0, nor a UDP header behind an IPv6 payload length of 0, which a
    # packet over 64 KiB (BIG TCP, GSO) carries: such frames end at UDP.
    wanted = 'tcp || frame.protocols contains "pwethheuristic" || frame.protocols matches ":udp$"'
    arguments = ["tshark", "-n", "-r", capture, "-Y", wanted, "-T", "fields", "-E", "separator=/t",
                 "-E", "occurrence=a", "-E", "aggregator=,"]
    for label in hints:
        arguments += ["-d", f"mpls.label=={label},pwethcw"]
    text = run(arguments + sum([["-e", f] for f in FIELDS], []))
    if text is None:
        return None
    return [dict(zip(FIELDS, line.split("\t"))) for line in text.splitlines() if line]


def layers_of(row):
    return [layer for layer in row["frame.protocols"].split(":") if layer != "ethertype"]


def values(row, field):
    return row.get(field, "").split(",") if row.get(field) else []


def number(text):
    return int(text, 16) if text.startswith("0x") else int(text)


def value(row, field, index):
    """The field's value in the index-th layer that holds it, as a number; None when absent."""
    found = values(row, field)
    return number(found[index]) if index < len(found) and found[index] else None


def microseconds(epoch):
    """tshark's epoch time, for example 808464432.999999000, in whole microseconds."""
    seconds, _, fraction = epoch.partition(".")
    return int(seconds) * 1000000 + int((fraction + "000000")[:6])


def flow_time(text):
    """A flow table time, for example 1995-08-15T05:27:12.999999Z, in microseconds since the epoch."""
    utc = datetime.timezone.utc
    moment = datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=utc)
    return (moment - datetime.datetime(1970, 1, 1, tzinfo=utc)) // datetime.timedelta(microseconds=1)


def endpoint(address, port):
    parsed = ipaddress.ip_address(address)
    return (parsed.version, int(parsed), int(port))


def label_of(point):
    version, address, port = point
    text = str(ipaddress.ip_address(address))
    return f"[{text}]:{port}" if version == 6 else f"{text}:{port}"


def follow(row):
    """Walks the frame's layers up to its innermost TCP as wiretally would. Returns (reason, tunnelled,
    outer): why wiretally does not count this segment (None when it does), whether the TCP is encapsulated,
    and, when wiretally stops at an outer TCP that carries the innermost one, which IP layer (its name and
    index among the layers of that name) and which TCP layer (its index) that is."""
    layers = layers_of(row)
    innermost = len(layers) - 1 - layers[::-1].index("tcp")
    path = layers[:innermost]
    if "icmp" in path or "icmpv6" in path:
        return "TCP quoted in an ICMP or ICMPv6 error", False, None
    if not path or (path[0] not in LINKS and path[0] not in NETWORK):
        return f"link type wiretally does not read (tshark: {path[0] if path else 'none'})", False, None
    seen = collections.Counter()

    def take(name):
        seen[name] += 1
        return seen[name] - 1

    at = 0
    link_type = None
    if path[0] in LINKS:
        link_type = value(row, "eth.type" if path[0] == "eth" else "sll.etype", 0)
        take(path[0])
        at = 1
    encapsulations, tags, after_ip, networks, network = 0, 0, False, 0, None

    def aside(reason, tunnelled=True):
        return reason, tunnelled, None

    while at < len(path):
        layer = path[at]
        at += 1
        step = 1
        if layer in TAGS:
            tags += 1
            if tags > MOST_TAGS:
                return aside(f"more than {MOST_TAGS} VLAN tags in a row")
            # One 802.1Q tag right behind the link header is plain framing.
            if at == 2 and path[0] in LINKS and layer == "vlan" and link_type == 0x8100:
                step = 0
        elif layer in NETWORK:
            index = take(layer)
            networks += 1
            network = (layer, index)
            # The IP header itself is no encapsulation, but IP right inside IP is one.
            step = 1 if after_ip else 0
            nested = encapsulations + networks > 1
            pieces = []
            if layer == "ip":
                pieces.append((value(row, "ip.frag_offset", index), value(row, "ip.flags.mf", index)))
            headers = 0
            while at < len(path) and layer == "ipv6" and path[at] in EXTENSIONS:
                if path[at] == "ipv6.fraghdr":
                    piece = take("ipv6.fraghdr")
                    pieces.append((value(row, "ipv6.fraghdr.offset", piece),
                                   value(row, "ipv6.fraghdr.more", piece)))
                headers += 1
                at += 1
            # An atomic fragment (offset 0, more fragments clear) is a whole packet.
            if any(offset or more for offset, more in pieces):
                return aside("inner IP fragment" if networks > 1 else "IP fragment", nested)
            if headers > MOST_EXTENSIONS:
                return aside(f"IPv6 extension chain over {MOST_EXTENSIONS} headers", nested)
        elif layer == "mpls":
            stacks, depth = [], 0
            for bottom in values(row, "mpls.bottom"):
                depth += 1
                if bottom == "1":
                    stacks.append(depth)
                    depth = 0
            index = take("mpls")
            if index < len(stacks) and stacks[index] > MOST_LABELS:
                return aside(f"MPLS stack over {MOST_LABELS} labels")
            while at < len(path) and path[at] in PSEUDOWIRE:
                at += 1
            if at < len(path) and path[at] == "pwethnocw":
                return aside("MPLS Ethernet pseudowire without control word")
            # The customer's Ethernet header belongs to the pseudowire.
            if at < len(path) and path[at] == "eth":
                at += 1
        elif layer == "pppoes":
            index = take("pppoes")
            if (value(row, "pppoe.version", index), value(row, "pppoe.type", index),
                    value(row, "pppoe.code", index)) != (1, 1, 0):
                return aside("PPPoE session header other than version 1, type 1, code 0")
            if at < len(path) and path[at] == "ppp":
                if value(row, "ppp.protocol", take("ppp")) not in (0x0021, 0x0057):
                    return aside("PPP protocol other than IPv4 or IPv6")
                at += 1
        elif layer == "ieee8021ah":
            take(layer)
        elif layer == "llc":
            index = take("llc")
            if value(row, "llc.dsap", index) != 0xAA or value(row, "llc.oui", index) != 0:
                return aside("LLC without a SNAP header of the EtherType space")
        elif layer == "gre":
            index = take("gre")
            flags, carried = value(row, "gre.flags_and_version", index), value(row, "gre.proto", index)
            if flags is None or flags & ~GRE_FLAGS:
                return aside("GRE version 1 (PPTP) or with routing or recursion")
            if carried not in GRE_CARRIES:
                return aside(f"GRE carrying 0x{carried or 0:04x}")
            if carried in (0x88BE, 0x22EB) and at < len(path) and path[at] == "erspan":
                at += 1
                # ERSPAN type I has no header of its own (no sequence number in its GRE header).
                if carried == 0x22EB or flags & 0x1000:
                    encapsulations += 1
            if at < len(path) and path[at] == "eth":
                at += 1
        elif layer == "udp":
            index = take("udp")
            inside = path[at] if at < len(path) else "none"
            if inside not in UDP_TUNNELS:
                return aside(f"UDP payload wiretally does not follow (tshark: {inside})")
            port = value(row, "udp.dstport", index)
            if port != UDP_TUNNELS[inside]:
                return aside(f"{inside} on destination port {port}")
            at += 1
            if inside == "geneve" and value(row, "geneve.version", take("geneve")) != 0:
                return aside("Geneve version other than 0")
            if inside == "gtp":
                piece = take("gtp")
                flags = value(row, "gtp.flags", piece) or 0
                if flags & 0xF0 != 0x30 or value(row, "gtp.message", piece) != 0xFF:
                    return aside("GTP other than a version 1 G-PDU")
            if at < len(path) and path[at] == "eth" and inside != "gtp":
                at += 1
        elif layer == "tcp":
            # A protocol over TCP that carries IP: wiretally stops at this TCP.
            return None, encapsulations > 0, (network, take("tcp"))
        else:
            return aside(f"encapsulation wiretally does not follow (tshark: {layer})")
        tags = tags if layer in TAGS else 0
        after_ip = layer in NETWORK
        encapsulations += step
        if encapsulations > MOST_ENCAPSULATIONS:
            return aside(f"more than {MOST_ENCAPSULATIONS} encapsulations")
    if len(values(row, "tcp.urgent_pointer")) < layers.count("tcp"):
        return "fixed TCP header not captured whole", encapsulations > 0, None
    return None, encapsulations > 0, None


def stops_at_udp(row):
    """Whether tshark stops at a UDP header of length 0 (or unread) that may open a tunnel."""
    layers = [layer for layer in layers_of(row) if layer != "_ws.malformed"]
    length, port = values(row, "udp.length")[-1:], values(row, "udp.dstport")[-1:]
    return layers[-1:] == ["udp"] and length in ([], ["0"]) and (
        not port or int(port[0]) in UDP_TUNNELS.values())


def tshark_frames(capture):
    """tshark's TCP frames, with pseudowires decoded as wiretally reads them, and the frames in which
    tshark stops at a tunnel's UDP header of length 0; None when tshark failed."""
    rows = tshark_rows(capture)
    if rows is None:
        return None
    labels = sorted({values(r, "mpls.label")[-1] for r in rows
                     if "pwethheuristic" in layers_of(r) and values(r, "mpls.label")})
    frames = {r["frame.number"]: r for r in rows if "tcp" in layers_of(r)}
    if labels:
        again = tshark_rows(capture, labels) or []
        for row in again:
            if "tcp" in layers_of(row) and row["frame.number"] not in frames:
                frames[row["frame.number"]] = row
    stopped = [r for r in rows if stops_at_udp(r)]
    return sorted(frames.values(), key=lambda r: int(r["frame.number"])), stopped


def same_files(out, parallel):
    """Differences between the files of a --threads 1 run and those of a --threads 2 run."""
    differences = []
    written = sorted(f for f in os.listdir(out) if f.startswith("out."))
    again = sorted(f for f in os.listdir(parallel) if f.startswith("out."))
    if written != again:
        differences.append(f"--threads 2 wrote other files: {again} instead of {written}")
    for result in written:
        if result in again and not filecmp.cmp(os.path.join(out, result), os.path.join(parallel, result),
                                               shallow=False):
            differences.append(f"--threads 2 --max-memory 1M: {result} differs from --threads 1")
    return differences


def compare(capture, name):
    """Prints the comparison of one capture; returns (summary numbers, number of differences) or None."""
    out = os.path.join(workdir, name)
    os.makedirs(out, exist_ok=True)
    arguments = [binary, "--ipv6", "--tunnels", "--flow-table", "-i", capture]
    if run(arguments + ["--threads", "1", "-o", os.path.join(out, "out")]) is None:
        print(f"{name}: wiretally failed or took longer than {limit}s")
        return None
    with open(os.path.join(out, "out.Flows.csv"), newline="") as table:
        flows = list(csv.DictReader(table))

    read = tshark_frames(capture)
    if read is None:
        # tshark cannot read some link types; only worth a line when wiretally found flows there.
        if flows:
            print(f"{name}: skipped, tshark failed or took longer than {limit}s;"
                  f" wiretally found {len(flows)} flow(s)")
            return {"flows wiretally": len(flows)}, 1
        return None
    frames, stopped = read
    if not frames and not flows:
        return None
    # When tshark stops at a tunnel's UDP header, wiretally alone sees the TCP inside; its flows made only
    # of such frames (by their times) are set aside.
    stopped_times = collections.Counter(microseconds(r["frame.time_epoch"]) for r in stopped)
    unseen, unseen_frames = 0, [r["frame.number"] for r in stopped]

    # tshark's conversations, by unordered endpoint pair.
    expected = collections.defaultdict(lambda: {"packets": collections.Counter(),
                                                "bytes": collections.Counter()})
    left_out = collections.Counter()
    left_out_frames = collections.defaultdict(list)
    texts = {}
    tunnelled_segments = 0
    at_outer = []
    for row in frames:
        reason, tunnelled, outer = follow(row)
        tunnelled_segments += tunnelled
        if reason:
            left_out[reason] += 1
            left_out_frames[reason].append(row["frame.number"])
            continue
        # The innermost TCP: the last addresses and ports; else the TCP at which wiretally stops.
        inner, network, segment = [layer for layer in layers_of(row) if layer in NETWORK][-1], -1, -1
        if outer:
            (inner, network), segment = outer
            at_outer.append(row["frame.number"])
        source_text = values(row, inner + ".src")[network]
        destination_text = values(row, inner + ".dst")[network]
        source = endpoint(source_text, values(row, "tcp.srcport")[segment])
        destination = endpoint(destination_text, values(row, "tcp.dstport")[segment])
        texts[source[:2]] = source_text
        texts[destination[:2]] = destination_text
        conversation = expected[tuple(sorted((source, destination)))]
        conversation["packets"][(source, destination)] += 1
        conversation["bytes"][(source, destination)] += int(row["frame.len"])

    # wiretally's flows, by the same pair.
    found = collections.defaultdict(list)
    differences = []
    for flow in flows:
        source = endpoint(flow["src_addr"], flow["src_port"])
        destination = endpoint(flow["dst_addr"], flow["dst_port"])
        found[tuple(sorted((source, destination)))].append((source, destination, flow))
        for point, written in ((source, flow["src_addr"]), (destination, flow["dst_addr"])):
            if point[:2] in texts and texts[point[:2]] != written:
                differences.append(f"address text: wiretally {written}, tshark {texts[point[:2]]}")

    for pair in sorted(set(expected) | set(found)):
        label = " <-> ".join(label_of(point) for point in pair)
        want = expected.get(pair)
        got = found.get(pair, [])
        if want is None:
            packets = sum(int(f["packets_fwd"]) + int(f["packets_rev"]) for _, _, f in got)
            times = [t for _, _, f in got for t in (flow_time(f["first_time"]), flow_time(f["last_time"]))]
            within = sum(n for t, n in stopped_times.items() if min(times) <= t <= max(times))
            if all(stopped_times[t] for t in times) and packets <= min(within, len(stopped) - unseen):
                unseen += packets
                continue
            differences.append(f"{label}: wiretally {len(got)} flow(s), {packets} packets;"
                               f" tshark no counted segment")
            continue
        if len(got) != 1:
            differences.append(f"{label}: wiretally {len(got)} flows, expected 1"
                               f" ({sum(want['packets'].values())} packets)")
            continue
        source, destination, flow = got[0]
        ours = {(source, destination): (int(flow["packets_fwd"]), int(flow["bytes_fwd"])),
                (destination, source): (int(flow["packets_rev"]), int(flow["bytes_rev"]))}
        if source == destination:
            # Both ways are the same endpoint pair: one direction to tshark.
            ours = {(source, source): (int(flow["packets_fwd"]) + int(flow["packets_rev"]),
                                       int(flow["bytes_fwd"]) + int(flow["bytes_rev"]))}
        for way, (packets, volume) in ours.items():
            theirs = (want["packets"][way], want["bytes"][way])
            if (packets, volume) != theirs:
                direction = "fwd" if way == (source, destination) else "rev"
                differences.append(f"{label} {direction}: wiretally {packets} packets {volume} B, "
                                   f"tshark {theirs[0]} packets {theirs[1]} B")

    numbers = {
        "flows wiretally": len(flows),
        "flows expected": len(expected),
        "segments wiretally": sum(int(f["packets_fwd"]) + int(f["packets_rev"]) for f in flows),
        "segments tshark": len(frames),
        "segments expected": sum(sum(c["packets"].values()) for c in expected.values()),
        "segments tunnelled": tunnelled_segments,
        "segments tshark stops before": unseen,
    }
    print(f"{name}: flows wiretally/expected {numbers['flows wiretally']}/{numbers['flows expected']},"
          f" segments wiretally/tshark {numbers['segments wiretally']}/{numbers['segments tshark']}"
          f" (expected {numbers['segments expected']}; tunnelled {tunnelled_segments})")
    for reason, count in sorted(left_out.items()):
        shown = ",".join(left_out_frames[reason][:8]) + ("..." if count > 8 else "")
        print(f"    set aside: {count} frame(s) {reason} (frames {shown})")
    if unseen:
        shown = ",".join(unseen_frames[:8]) + ("..." if len(unseen_frames) > 8 else "")
        print(f"    set aside: wiretally counts {unseen} segment(s) in {len(unseen_frames)} frame(s) where"
              f" tshark stops at a tunnel's UDP length of 0, a packet over 64 KiB (frames {shown})")
    if at_outer:
        shown = ",".join(at_outer[:8]) + ("..." if len(at_outer) > 8 else "")
        print(f"    note: {len(at_outer)} frame(s) counted at an outer TCP that carries IP, where wiretally"
              f" stops (frames {shown})")

    # The same results from two threads and a small memory budget that moves segments to files.
    if tunnelled_segments or unseen:
        parallel = os.path.join(out, "threads2")
        os.makedirs(parallel, exist_ok=True)
        arguments += ["--threads", "2", "--max-memory", "1M", "-o", os.path.join(parallel, "out")]
        if run(arguments) is None:
            differences.append("--threads 2 --max-memory 1M run failed")
        else:
            differences += same_files(out, parallel)
    for difference in differences:
        print(f"    DIFFERS: {difference}")
    return numbers, len(differences)


totals = collections.Counter()
captures_with_tcp, differing = [], 0
paths = []
for root, _, files in os.walk(folder):
    paths += [os.path.join(root, f) for f in files if not f.endswith((".md", ".txt", ".counts"))]
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
print(f"{len(captures_with_tcp)} of {len(paths)} captures hold TCP by either tool.")
print(f"Flows wiretally/expected {totals['flows wiretally']}/{totals['flows expected']};"
      f" segments wiretally/tshark {totals['segments wiretally']}/{totals['segments tshark']}"
      f" (expected {totals['segments expected']}; tunnelled {totals['segments tunnelled']});"
      f" {totals['segments tshark stops before']} segment(s) in tunnels tshark stops before.")
print(f"{differing} difference(s) beyond the frames set aside.")
sys.exit(1 if differing else 0)
PYTHON
