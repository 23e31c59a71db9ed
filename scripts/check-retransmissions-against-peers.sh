#!/usr/bin/env bash
# Compares what wiretally --retransmissions counts with tshark's TCP analysis and tcptrace, flow by flow and
# frame by frame, and sorts every difference into a class. wiretally counts a segment that occupies
# sequence space (payload, plus one for SYN and for FIN) of which some was already occupied by an earlier
# captured segment of its direction, leaving out keep-alives, zero-window probes and repeats (same IP id,
# sequence, length and ack); spurious when an earlier ack from the other side covered its whole range.
# tshark flags a segment that starts below its highest next sequence: out-of-order when it comes within
# 3 ms (or the initial RTT) of that highest segment, else a retransmission, fast or spurious. tcptrace's
# "rexmt data pkts" counts segments (SYN and FIN too) over a range it has seen, copies and keep-alives too.
# The script walks each direction as that definition reads (its own reference, from tshark's fields) to
# explain the differences; a frame where wiretally and the reference disagree is marked SUSPECT.
#
# Usage: scripts/check-retransmissions-against-peers.sh DIR BINARY [WORKDIR]
#   DIR      captures (pcap, pcapng, possibly gzip-compressed), searched with its sub-folders
#   BINARY   the wiretally to check
#   WORKDIR  where the runs write their results, one folder per capture (default /tmp/retransmissioncheck)
# Environment: CHECK_TIMEOUT seconds per tool run (default 60).
# Prints per capture with TCP: the counts of each tool, flows agreeing, every disagreeing frame with its
# class, handshake times unlike tshark's initial RTT; then totals. Exit status: 0, or 2 on wrong usage.
set -uo pipefail

if [[ $# -lt 2 || $# -gt 3 || ! -d "$1" || ! -x "$2" ]]; then
    echo "Usage: $0 DIR BINARY [WORKDIR]" >&2
    exit 2
fi
for tool in tshark tcptrace editcap; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

exec python3 - "$(cd "$1" && pwd)" "$(realpath "$2")" "${3:-/tmp/retransmissioncheck}" "${CHECK_TIMEOUT:-60}" <<'PYTHON'
import collections
import csv
import ipaddress
import os
import re
import subprocess
import sys

folder, binary, workdir, limit = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])

FLAGS = ["retransmission", "fast_retransmission", "spurious_retransmission", "out_of_order", "keep_alive",
         "zero_window_probe"]
FIELDS = ["frame.number", "frame.protocols", "tcp.stream", "ip.src", "ip.dst", "ipv6.src", "ipv6.dst",
          "tcp.srcport", "tcp.dstport", "ip.id", "tcp.seq_raw", "tcp.ack_raw", "tcp.len", "tcp.flags.syn",
          "tcp.flags.ack", "tcp.flags.fin", "tcp.flags.reset", "tcp.window_size_value",
          "tcp.analysis.initial_rtt"] + ["tcp.analysis." + flag for flag in FLAGS]
WRAP = 1 << 32


def run(arguments):
    """Runs a command; returns its standard output, or None when it failed or took too long."""
    try:
        done = subprocess.run(arguments, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=limit, text=True, errors="replace")
    except subprocess.TimeoutExpired:
        return None
    return done.stdout if done.returncode == 0 else None


def endpoint(address, port):
    return (ipaddress.ip_address(address), int(port))


def key_of(a, b):
    return tuple(sorted((a, b), key=lambda p: (p[0].version, int(p[0]), p[1])))


def tshark_frames(capture):
    """tshark's TCP frames, each field its innermost (last) value; None when tshark failed."""
    text = run(["tshark", "-n", "-r", capture, "-Y", "tcp", "-T", "fields", "-E", "separator=/t",
                "-E", "occurrence=a", "-E", "aggregator=,"] + sum([["-e", f] for f in FIELDS], []))
    if text is None:
        return None
    frames = []
    for line in text.splitlines():
        row = dict(zip(FIELDS, line.split("\t")))
        row.update({f: (row.get(f) or "").split(",")[-1] for f in FIELDS if f != "frame.protocols"})
        layers = row["frame.protocols"].split(":")
        version = ([layer for layer in layers if layer in ("ip", "ipv6")] or ["ip"])[-1]
        if not row[version + ".src"] or not row["tcp.srcport"]:
            continue
        row["source"] = endpoint(row[version + ".src"], row["tcp.srcport"])
        row["destination"] = endpoint(row[version + ".dst"], row["tcp.dstport"])
        row["number"] = int(row["frame.number"])
        row["quoted"] = "icmp" in layers or "icmpv6" in layers
        row["flags"] = {flag for flag in FLAGS if row["tcp.analysis." + flag]}
        frames.append(row)
    return frames


def tcptrace_counts(capture, out):
    """tcptrace's rexmt data pkts (both ways) by endpoint pair, from a pcap copy (not pcapng nor gzip)."""
    copy = os.path.join(out, "copy.pcap")
    text = run(["editcap", "-F", "pcap", capture, copy]) is not None and run(["tcptrace", "-l", "-n", copy])
    if not text:
        return None
    counts, hosts = collections.Counter(), []
    for line in text.splitlines():
        host = re.match(r"\s+host \w+:\s+(\S+):(\d+)$", line)
        if host:
            hosts.append(endpoint(host.group(1), host.group(2)))
        rexmt = re.match(r"\s+rexmt data pkts:\s+(\d+)\s+rexmt data pkts:\s+(\d+)", line)
        if rexmt and len(hosts) >= 2:
            counts[key_of(hosts[-2], hosts[-1])] += int(rexmt.group(1)) + int(rexmt.group(2))
    return counts


class Direction:
    """One direction of a flow as the definition reads: occupied ranges, in unwrapped sequence numbers."""

    def __init__(self):
        self.base, self.high, self.ranges, self.seen = None, 0, [], set()
        self.acked, self.told, self.window, self.probe, self.reached = None, None, None, None, False
        self.isn, self.pending = None, False

    def restart(self, start):
        """A SYN with a new initial sequence number: a new connection on the same ports starts afresh."""
        self.ranges, self.acked, self.told, self.probe, self.reached, self.high = [], None, None, None, False, start

    def unwrap(self, raw):
        if self.base is None:
            self.base = raw
        return self.high + (raw - self.base - self.high + WRAP // 2) % WRAP - WRAP // 2

    def overlap(self, start, end, ranges=None):
        return sum(max(0, min(end, e) - max(start, s)) for s, e in (self.ranges if ranges is None else ranges))

    def occupy(self, start, end):
        merged = []
        for s, e in sorted(self.ranges + [(start, end)]):
            if merged and s <= merged[-1][1]:
                merged[-1] = (merged[-1][0], max(merged[-1][1], e))
            else:
                merged.append((s, e))
        self.ranges, self.high = merged, max(self.high, end)


def flag(row, name):
    return row["tcp.flags." + name] in ("1", "True")


def reference(frames, keys):
    """The definition's verdict on each frame of the flows wiretally analyses: number -> (kind, bytes,
    (sequence, end sequence), note); kind is retransmission, spurious or None, the note says what else the
    frame is (keep-alive, probe, repeat, fills a hole, one below the highest, after a probe, acked beyond)."""
    ways, verdicts = collections.defaultdict(Direction), {}
    for row in frames:
        if row["quoted"] or key_of(row["source"], row["destination"]) not in keys:
            continue
        mine, theirs = ways[(row["source"], row["destination"])], ways[(row["destination"], row["source"])]
        raw, length = int(row["tcp.seq_raw"]), int(row["tcp.len"] or 0)
        start, syn, fin = mine.unwrap(raw), flag(row, "syn"), flag(row, "fin")
        end, control = start + length + syn + fin, syn or fin
        if syn:
            # A new initial sequence number opens a new connection; the other side's next SYN answers it.
            if mine.isn is not None and mine.isn != raw:
                theirs.pending = True
            if mine.pending or (mine.isn is not None and mine.isn != raw):
                mine.restart(start)
            mine.isn, mine.pending = raw, False
        kind, overlap, note = None, 0, None
        copy = (row["ip.id"], raw, end - start, row["tcp.ack_raw"]) if row["ip.id"] else None
        if end > start:
            overlap = mine.overlap(start, end)
            if length == 1 and not control and mine.reached and start == mine.high - 1:
                note = "keep-alive"
            elif length == 1 and not control and theirs.window == 0:
                note, mine.probe = "probe", (start, end)
            elif copy in mine.seen:
                note = "repeat"
            elif overlap:
                kind = "spurious" if mine.acked is not None and mine.acked >= end else "retransmission"
                if mine.probe and overlap == mine.overlap(start, end, [mine.probe]):
                    note = "after a probe"
                elif kind == "retransmission" and mine.told is not None and mine.told >= end:
                    note = "acked beyond"
            elif start < mine.high:
                note = "fills a hole"
            elif mine.told is not None and mine.told >= end:
                note = "acked beyond"
            if start == mine.high - 1 and length > 1:
                note = note or "one below"
            mine.occupy(start, end)
        elif mine.reached:
            mine.high = max(mine.high, start)
        mine.reached = True
        if copy:
            mine.seen.add(copy)
        if flag(row, "ack") and theirs.base is not None:
            told = theirs.unwrap(int(row["tcp.ack_raw"]))
            theirs.told = told if theirs.told is None else max(theirs.told, told)
            acked = min(told, theirs.high)
            theirs.acked = acked if theirs.acked is None else max(theirs.acked, acked)
        mine.window = int(row["tcp.window_size_value"] or -1)
        verdicts[row["number"]] = (kind, overlap, (raw, (raw + end - start) % WRAP), note)
    return verdicts


def classify(row, ours, verdict, first_stream):
    """Why wiretally (ours: its kind or None) and tshark disagree on a frame; first_stream is tshark's first
    stream of the frame's endpoints."""
    if row is None or row["quoted"]:
        return "tshark sees no analysed TCP there (quoted in ICMP, a tunnel it decodes otherwise)"
    if verdict is None:
        return "frame of a flow wiretally does not analyse (tunnel, link type, fragment)"
    theirs, (kind, overlap, _, note) = row["flags"], verdict
    control = " (SYN)" if flag(row, "syn") else " (FIN)" if flag(row, "fin") else ""
    if (ours is not None) != (kind is not None) or (ours and ours != kind):
        return (f"SUSPECT: wiretally {ours or 'nothing'}, by its definition {kind or 'nothing'}"
                f" ({note or f'{overlap} B overlap'}){control}")
    if row["tcp.stream"] != first_stream:
        return "4-tuple used again: tshark starts a new stream, wiretally goes on with one flow"
    if ours and not theirs & {"retransmission", "fast_retransmission"}:
        if note == "one below" or note == "after a probe" and "out_of_order" not in theirs:
            return "starts one below tshark's next sequence: tshark takes it for the data after a probe"
        for name, text in (("out_of_order", "tshark out-of-order: within 3 ms (or its initial RTT)"),
                           ("keep_alive", "tshark keep-alive"), ("zero_window_probe", "tshark zero-window probe")):
            if name in theirs:
                return text + control
        return "overlap tshark does not flag" + control
    if ours:
        return ("ack beyond what was sent: wiretally caps it, tshark calls it spurious" if note == "acked beyond"
                else f"spurious: wiretally {ours == 'spurious'}, tshark {'spurious_retransmission' in theirs}")
    return {"repeat": "repeat: same IP id, sequence, length and ack (a copy)",
            "fills a hole": "only fills a hole (the earlier copy was never captured)",
            "keep-alive": "keep-alive by wiretally's rule", "probe": "zero-window probe by wiretally's rule",
            "acked beyond": "new data: tshark calls it spurious, an ack beyond what was sent covered it"}.get(
        note, f"tshark flags, nothing occupied before ({note})") + control


def handshake_class(mine, stream):
    """Why wiretally's handshake time and tshark's initial RTT differ; None when they agree."""
    ms, rtt = mine["handshake"], stream["rtt"]
    if all(ms) and rtt and abs(float(ms[0]) + float(ms[1]) - float(rtt) * 1000) <= 0.0010001:
        return None
    if all(ms) and min(float(ms[0]), float(ms[1])) < 0:
        return "capture times go backwards: a negative time"
    if not all(ms) and rtt:
        return ("tshark times the SYN to a RST" if stream["resets"] and not stream["synacks"] else
                "tshark times the SYN to the opener's first ACK, no SYN-ACK captured" if not stream["synacks"]
                else "wiretally times none")
    if not rtt:
        return "tshark gives no initial RTT"
    return "SYN sent again" if stream["syns"] > 1 else "SYN-ACK sent again" if stream["synacks"] > 1 else "other"


def compare(capture, name):
    out = os.path.join(workdir, name)
    os.makedirs(out, exist_ok=True)
    if run([binary, "--all", "-e", "-i", capture, "-o", os.path.join(out, "r")]) is None:
        print(f"{name}: wiretally failed or took longer than {limit}s")
        return None
    with open(os.path.join(out, "r.Flows.csv"), newline="") as table:
        flows = list(csv.DictReader(table))
    with open(os.path.join(out, "r.NumberTCPRetransmissions.csv"), newline="") as listed:
        ours = {int(line[1]): line[13] for line in csv.reader(listed) if len(line) >= 14}
    frames = tshark_frames(capture)
    if frames is None or not flows:
        if flows or frames:
            print(f"{name}: wiretally {len(flows)} flow(s), tshark {len(frames or [])} TCP frame(s)")
        return None
    peer = tcptrace_counts(capture, out)
    byframe = {row["number"]: row for row in frames}
    keys = {row["number"]: key_of(row["source"], row["destination"]) for row in frames}
    mine_by_key = collections.defaultdict(collections.Counter)
    for flow in flows:
        mine = mine_by_key[key_of(endpoint(flow["src_addr"], flow["src_port"]),
                                  endpoint(flow["dst_addr"], flow["dst_port"]))]
        mine.update(retransmissions=int(flow["retransmissions"] or 0), spurious=int(flow["spurious"] or 0), flows=1)
        mine["handshake"] = [flow["syn_synack_ms"], flow["synack_ack_ms"]]
    verdicts = reference(frames, set(mine_by_key))
    theirs_by_key, streams = collections.defaultdict(collections.Counter), collections.defaultdict(dict)
    flagged = set()
    for row in frames:
        key = keys[row["number"]]
        if row["flags"] & {"retransmission", "fast_retransmission"}:
            flagged.add(row["number"])
            theirs_by_key[key]["retransmissions"] += 1
        theirs_by_key[key]["spurious"] += "spurious_retransmission" in row["flags"]
        stream = streams[key].setdefault(row["tcp.stream"], collections.Counter(rtt=""))
        stream["rtt"] = stream["rtt"] or row["tcp.analysis.initial_rtt"]
        stream["syns"] += flag(row, "syn") and not flag(row, "ack")
        stream["synacks"] += flag(row, "syn") and flag(row, "ack")
        stream["resets"] += flag(row, "reset")

    disagreements, frame_classes = [], collections.Counter()
    for number in sorted(set(ours) | flagged | {n for n, v in verdicts.items() if v[0]}):
        row, verdict = byframe.get(number), verdicts.get(number)
        if not (number in ours and number in flagged and verdict and verdict[0] == ours[number] and (
                ours[number] == "spurious") == ("spurious_retransmission" in row["flags"])):
            first = row and next(iter(streams[keys[number]]))
            disagreements.append((number, classify(row, ours.get(number), verdict, first), verdict))
            frame_classes[disagreements[-1][1]] += 1

    counts, flow_classes, lines = collections.Counter(), collections.Counter(), []
    counts["tshark-only flows with retransmissions"] = sum(
        1 for key, tally in theirs_by_key.items() if key not in mine_by_key and tally["retransmissions"])
    for key in sorted(mine_by_key, key=str):
        mine, theirs = mine_by_key[key], theirs_by_key[key]
        counts.update({"flows": 1, "wiretally retransmissions": mine["retransmissions"], "wiretally spurious":
                       mine["spurious"], "tshark retransmissions": theirs["retransmissions"],
                       "tshark spurious": theirs["spurious"]})
        agree = (mine["retransmissions"], mine["spurious"]) == (theirs["retransmissions"], theirs["spurious"])
        counts["flows agreeing with tshark"] += agree
        inside = {cls for n, cls, _ in disagreements if keys.get(n) == key}
        for cls in inside or ([] if agree else ["unexplained"]):
            flow_classes["tshark: " + cls] += 1
        if peer is not None:
            counts["tcptrace retransmissions"] += peer.get(key, 0)
            # tcptrace counts every segment, SYN and FIN too, over a range it has seen, keep-alives with a
            # byte and repeats among them, but not the data sent again after a zero-window probe.
            terms = collections.Counter()
            for number, (kind, _, _, note) in ((n, v) for n, v in verdicts.items() if keys[n] == key):
                terms["repeat"] += note == "repeat"
                terms["keep-alive with a byte"] += note == "keep-alive"
                terms["data after a probe (tcptrace: none)"] -= bool(kind) and note == "after a probe"
                terms["wiretally departs from its definition"] += bool(kind) - (number in ours)
            if key not in peer:
                flow_classes["tcptrace: flow not seen by tcptrace (tunnel, link type, BIG TCP)"] += 1
            elif peer[key] == mine["retransmissions"]:
                counts["flows agreeing with tcptrace"] += 1
            else:
                why = " + ".join(t for t, c in sorted(terms.items()) if c)
                explained = mine["retransmissions"] + sum(terms.values()) == peer[key]
                flow_classes["tcptrace: " + (why if explained else f"unexplained ({why or '-'})")] += 1
        # Handshake: syn_synack_ms + synack_ack_ms against tshark's initial RTT.
        both = list(streams.get(key, {}).values())
        if mine["flows"] == 1 and len(both) == 1 and (both[0]["rtt"] or all(mine["handshake"])):
            counts["handshakes compared"] += 1
            why = handshake_class(mine, both[0])
            counts["handshake: " + (why or "within 0.001 ms")] += 1
            timed = "+".join(mine["handshake"]) if all(mine["handshake"]) else "-"
            if why:
                lines.append(f"    handshake {key[0][0]}:{key[0][1]} <-> {key[1][0]}:{key[1][1]}: {why};"
                             f" wiretally {timed} ms, tshark {both[0]['rtt'] or '-'} s")
    traced = "--" if peer is None else (counts["tcptrace retransmissions"], counts["flows agreeing with tcptrace"])
    print(f"{name}: flows {counts['flows']}, retransmissions wiretally/tshark/tcptrace "
          f"{counts['wiretally retransmissions']}/{counts['tshark retransmissions']}/{traced[0]},"
          f" spurious wiretally/tshark {counts['wiretally spurious']}/{counts['tshark spurious']},"
          f" flows agreeing tshark/tcptrace {counts['flows agreeing with tshark']}/{traced[1]}")
    for number, cls, verdict in disagreements:
        sequence = f" seq {verdict[2][0]}-{verdict[2][1]}" if verdict else ""
        print(f"    frame {number}: wiretally {ours.get(number, '-')}, tshark "
              f"{','.join(sorted(byframe[number]['flags'])) or '-' if number in byframe else 'no TCP'};"
              f"{sequence}{f', {verdict[1]} B over' if verdict and verdict[1] else ''}: {cls}")
    for line in lines:
        print(line)
    return counts, frame_classes, flow_classes


totals, classes, flow_classes = collections.Counter(), collections.Counter(), collections.Counter()
paths = []
for root, _, files in os.walk(folder):
    paths += [os.path.join(root, f) for f in files if not f.endswith((".md", ".txt", ".counts"))]
with_tcp = 0
for capture in sorted(paths):
    result = compare(capture, os.path.relpath(capture, folder).replace(os.sep, "_"))
    if result:
        with_tcp += 1
        for total, part in zip((totals, classes, flow_classes), result):
            total.update(part)

print(f"\n{with_tcp} of {len(paths)} captures hold TCP flows; wiretally's flows: {totals['flows']}.")
print(f"Retransmissions wiretally/tshark/tcptrace {totals['wiretally retransmissions']}/"
      f"{totals['tshark retransmissions']}/{totals['tcptrace retransmissions']}; spurious wiretally/tshark "
      f"{totals['wiretally spurious']}/{totals['tshark spurious']}. Flows agreeing with tshark "
      f"{totals['flows agreeing with tshark']}, with tcptrace {totals['flows agreeing with tcptrace']};"
      f" flows tshark alone has, with retransmissions: {totals['tshark-only flows with retransmissions']}.")
for title, table in (("frames", classes), ("flows (a flow may have several)", flow_classes)):
    print(f"Disagreeing {title} by class:")
    for cls, count in table.most_common():
        print(f"    {count:5} {cls}")
print(f"Handshakes compared with tshark's initial RTT: {totals['handshakes compared']}")
for what, count in sorted((k, v) for k, v in totals.items() if k.startswith("handshake: ")):
    print(f"    {count:5} {what[len('handshake: '):]}")
sys.exit(0)
PYTHON
