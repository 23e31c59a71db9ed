#!/usr/bin/env bash
# Compares the TCP flows that wiretally --ipv6 --tunnels writes to its flow table with tshark's view of the
# same captures, conversation by conversation: packets and bytes (frame lengths) each way between the
# innermost endpoints, and the text of the addresses. tshark's TCP is its innermost one: the last address
# and port of each frame. Each tshark frame's layers are walked the way wiretally walks link headers
# (Ethernet, Linux cooked, raw IP, loopback, PPP with or without HDLC-like or Cisco HDLC framing, Cisco HDLC,
# FDDI, 802.11 bare or behind radiotap or PPI, NFLOG) and encapsulations (stacked VLAN tags, MPLS and
# Ethernet pseudowires with a control word, PPPoE, 802.1ah, FabricPath, LLC/SNAP, GRE version 0 with ERSPAN
# or 802.11, GRE in UDP, IP in IP, VXLAN, VXLAN-GPE, Geneve, GTP-U, AYIYA and CAPWAP data), and the frames
# wiretally leaves out are set aside with the reason: TCP quoted in an ICMP error, link types and tunnels it
# does not follow (L2TP, Teredo, PPTP, NSH, sFlow, ...), protected 802.11 frames, 802.11 aggregates, 802.11
# and CAPWAP fragments (which tshark puts together), more than 8 encapsulations, IP fragments other than
# those of an outermost packet that opens a tunnel, IPv6 extension chains over 8 headers, and a fixed TCP
# header that was not captured whole. A frame whose TCP carries IP that tshark decodes counts at that outer
# TCP, where wiretally stops.
# wiretally puts the fragments of an outermost IPv4 or IPv6 packet together when the first one opens a
# tunnel, and counts the whole packet at the frame that completed it, with the wire bytes of all its
# fragments' frames; tshark's IP reassembly decodes it on that same frame, whose fragments it lists. A packet
# whose fragments came more than 30 s of capture time after its first one, which wiretally gives up, is set
# aside.
# tshark takes a pseudowire's zero control word for the start of the Ethernet header, so a capture in which
# its heuristic finds pseudowires is read a second time with their bottom labels decoded as Ethernet
# pseudowires with a control word (-d mpls.label==L,pwethcw); a frame counts in that reading only when the
# first one found no TCP in it. tshark reads the 802.11 frames in CAPWAP with their frame control byte
# swapped unless told otherwise (-o capwap.swap_fc:FALSE). tshark's other defaults already decode every
# encapsulation wiretally follows, ERSPAN types I to III included. Two tunnels hide their TCP from tshark:
# it does not look behind a UDP length of 0, which a tunnelled packet over 64 KiB (BIG TCP, GSO) carries, and
# it reads a VXLAN-GPE header without the P bit by its next protocol field, where wiretally reads Ethernet. A
# wiretally flow made only of such frames, matched by their capture times, is set aside too.
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
# itself first. A radio header comes before an 802.11 frame, and tshark may name a layer of its own for the
# radio information between them.
LINKS = {"eth", "sll", "null", "loop", "raw", "ppp", "chdlc", "fddi", "wlan", "radiotap", "ppi", "nflog"}
RADIO = {"radiotap", "ppi"}
NETWORK = {"ip", "ipv6"}
TAGS = {"vlan", "ieee8021ad"}
EXTENSIONS = {"ipv6.hopopts", "ipv6.routing", "ipv6.dstopts", "ipv6.fraghdr", "ah", "ipv6.shim6", "mipv6",
              "hip"}
PSEUDOWIRE = {"pwethheuristic", "pwethcw"}
# PPP protocols wiretally follows under the PPP link types (IPv4, IPv6, MPLS unicast and multicast), and in
# PPPoE (the first two).
PPP_CARRIES = {0x0021, 0x0057, 0x0281, 0x0283}
PPPOE_CARRIES = {0x0021, 0x0057}
CISCO_HDLC_ADDRESSES = {0x0F, 0x8F}
# SNAP organisation codes of the EtherType space: RFC 1042, and in 802.11 also the 802.1H bridge tunnel.
SNAP_OUIS = {0x000000}
WIRELESS_SNAP_OUIS = {0x000000, 0x0000F8}
# What wiretally follows behind GRE's protocol type: IP, Ethernet, ERSPAN, 802.11 as wireless controllers
# send it, and every encapsulation with an EtherType of its own (tags, MPLS, PPPoE, 802.1ah, FabricPath).
GRE_WIRELESS = 0x8200
GRE_CARRIES = {0x0800, 0x86DD, 0x6558, 0x88BE, 0x22EB, GRE_WIRELESS, 0x8100, 0x88A8, 0x9100, 0x8847, 0x8848,
               0x8864, 0x88E7, 0x8903}
GRE_FLAGS = 0x8000 | 0x2000 | 0x1000  # checksum, key, sequence number; version 0
UDP_TUNNELS = {"vxlan": 4789, "geneve": 6081, "gtp": 2152, "gre": 4754, "ayiya": 5072, "capwap.data": 5247}
# tshark names no layer for a VXLAN-GPE header, only the one after it: by the next protocol, or Ethernet
# where the P bit is clear, as wiretally reads it.
VXLAN_GPE_PORT = 4790
VXLAN_GPE_CARRIES = {1: "ip", 2: "ipv6", 3: "eth"}
TUNNEL_PORTS = set(UDP_TUNNELS.values()) | {VXLAN_GPE_PORT}
AYIYA_FORWARD = 1
AYIYA_CARRIES = {4, 41}  # IPv4, IPv6
CAPWAP_BINDING_80211 = 1
# The capture time after a tunnel packet's first fragment within which wiretally waits for the others.
REASSEMBLY_TIMEOUT = 30 * 1000000
FIELDS = ["frame.number", "frame.len", "frame.time_epoch", "frame.protocols", "eth.type", "sll.etype",
          "ip.src", "ip.dst", "ip.flags.mf", "ip.frag_offset", "ip.fragment", "ip.fragment.count",
          "ipv6.src", "ipv6.dst", "ipv6.fraghdr.offset", "ipv6.fraghdr.more", "ipv6.fragment",
          "ipv6.fragment.count", "tcp.srcport", "tcp.dstport", "tcp.urgent_pointer", "udp.dstport",
          "udp.length", "gre.flags_and_version", "gre.proto", "gtp.flags", "gtp.message", "geneve.version",
          "vxlan.p_bit", "vxlan.next_proto", "ayiya.opcode", "ayiya.nextheader", "capwap.header.flags.t",
          "capwap.header.flags.f", "capwap.header.wbid", "pppoe.version", "pppoe.type", "pppoe.code",
          "ppp.protocol", "chdlc.address", "chdlc.protocol", "wlan.fc.protected", "wlan.fc.frag",
          "wlan.frag", "wlan.qos.amsdupresent", "llc.dsap", "llc.oui", "llc.type", "mpls.label",
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
    # packet over 64 KiB (BIG TCP, GSO) carries: such frames end at UDP. The IP fragments are read for their
    # frames' lengths and times, which the frame that completes a tunnel packet counts.
    wanted = ('tcp || frame.protocols contains "pwethheuristic" || frame.protocols matches ":udp$"'
              ' || vxlan.p_bit == 0 || ip.flags.mf == 1 || ip.frag_offset > 0 || ipv6.fraghdr')
    arguments = ["tshark", "-n", "-r", capture, "-o", "capwap.swap_fc:FALSE", "-Y", wanted, "-T", "fields",
                 "-E", "separator=/t", "-E", "occurrence=a", "-E", "aggregator=,"]
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


def flag(row, field, index):
    """Whether the boolean field is set in the index-th layer that holds it; False when absent."""
    found = values(row, field)
    return index < len(found) and found[index] in ("1", "True")


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
    outer, fragments): why wiretally does not count this segment (None when it does), whether the TCP is
    encapsulated; when wiretally stops at an outer TCP that carries the innermost one, which IP layer (its
    name and index among the layers of that name) and which TCP layer (its index) that is; and when the frame
    completes a fragmented outermost packet that wiretally puts together, the numbers of the frames its
    fragments came in."""
    layers = layers_of(row)
    innermost = len(layers) - 1 - layers[::-1].index("tcp")
    path = layers[:innermost]
    if "icmp" in path or "icmpv6" in path:
        return "TCP quoted in an ICMP or ICMPv6 error", False, None, None
    if not path or (path[0] not in LINKS and path[0] not in NETWORK):
        return f"link type wiretally does not read (tshark: {path[0] if path else 'none'})", False, None, None
    seen = collections.Counter()

    def take(name):
        seen[name] += 1
        return seen[name] - 1

    at = 0
    encapsulations, tags, after_ip, networks, network, fragments = 0, 0, False, 0, None, None

    def aside(reason, tunnelled=True):
        return reason, tunnelled, None, None

    def next_layer():
        return path[at] if at < len(path) else "none"

    def wireless():
        """Takes the 802.11 frame at `at` and the LLC/SNAP header of its body. Returns why wiretally does not
        read the body (None when it does) and the EtherType the body carries."""
        nonlocal at
        index = take("wlan")
        at += 1
        if flag(row, "wlan.fc.protected", index):
            return "protected (encrypted) 802.11 frame", None
        # tshark puts 802.11 fragments together; wiretally leaves every one of them out.
        if flag(row, "wlan.fc.frag", index) or value(row, "wlan.frag", index):
            return "802.11 fragment", None
        # Only QoS data frames have the flag, so its occurrences do not line up with the 802.11 layers.
        if {"1", "True"} & set(values(row, "wlan.qos.amsdupresent")):
            return "802.11 aggregate of several packets (A-MSDU)", None
        if next_layer() != "llc":
            return f"802.11 body other than LLC/SNAP (tshark: {next_layer()})", None
        index = take("llc")
        at += 1
        if value(row, "llc.dsap", index) != 0xAA or value(row, "llc.oui", index) not in WIRELESS_SNAP_OUIS:
            return "802.11 body without a SNAP header of the EtherType space", None
        return None, value(row, "llc.type", index)

    def opens_tunnel():
        """Whether the payload at `at`, that of an IP packet, opens a tunnel wiretally follows: IP in IP, GRE,
        or UDP to a tunnel's port."""
        inside = next_layer()
        if inside == "udp":
            return value(row, "udp.dstport", seen["udp"]) in TUNNEL_PORTS
        return inside in NETWORK or inside == "gre"

    # The link header, which is no encapsulation; link_type is the EtherType (or Cisco HDLC protocol) behind
    # it, for the single 802.1Q tag that is plain framing.
    link_type = None
    if path[0] in RADIO:
        take(path[0])
        at = 1
        if next_layer() == "wlan_radio":
            at += 1
        if next_layer() != "wlan":
            return (f"radio header carrying other than 802.11 (tshark: {path[0]}, then {next_layer()})", False,
                    None, None)
    if path[at] == "wlan":
        reason, link_type = wireless()
        if reason:
            return reason, False, None, None
    elif path[0] == "fddi":
        take("fddi")
        at = 1
        index = take("llc") if next_layer() == "llc" else None
        snap = index is not None and value(row, "llc.dsap", index) == 0xAA
        if not snap or value(row, "llc.oui", index) not in SNAP_OUIS:
            return "FDDI frame without a SNAP header of the EtherType space", False, None, None
        at = 2
        link_type = value(row, "llc.type", index)
    elif path[0] == "chdlc" or path[:2] == ["ppp", "chdlc"]:
        # Cisco HDLC, also under the PPP link types, where tshark gives the PPP layer no protocol field.
        at = path.index("chdlc") + 1
        index = take("chdlc")
        if value(row, "chdlc.address", index) not in CISCO_HDLC_ADDRESSES:
            return "Cisco HDLC address other than 0x0F or 0x8F", False, None, None
        link_type = value(row, "chdlc.protocol", index)
    elif path[0] == "ppp":
        at = 1
        if value(row, "ppp.protocol", take("ppp")) not in PPP_CARRIES:
            return "PPP protocol other than IPv4, IPv6 or MPLS", False, None, None
    elif path[0] == "nflog":
        take("nflog")
        at = 1
        if next_layer() not in NETWORK:
            return f"NFLOG payload other than IPv4 or IPv6 (tshark: {next_layer()})", False, None, None
    elif path[0] in LINKS:
        link_type = value(row, "eth.type" if path[0] == "eth" else "sll.etype", 0)
        take(path[0])
        at = 1
    framed = at

    while at < len(path):
        layer = path[at]
        at += 1
        step = 1
        if layer in TAGS:
            tags += 1
            if tags > MOST_TAGS:
                return aside(f"more than {MOST_TAGS} VLAN tags in a row")
            # One 802.1Q tag right behind the link header is plain framing.
            if at == framed + 1 and layer == "vlan" and link_type == 0x8100:
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
                if networks > 1 or not opens_tunnel():
                    return aside("inner IP fragment" if networks > 1 else "IP fragment", nested)
                # The outermost packet of a tunnel, which wiretally puts together and walks afresh from its
                # IP header: what came before it counts no more.
                count = value(row, f"{layer}.fragment.count", 0) or 0
                fragments = values(row, f"{layer}.fragment")[:count]
                encapsulations = 0
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
                if value(row, "ppp.protocol", take("ppp")) not in PPPOE_CARRIES:
                    return aside("PPP protocol other than IPv4 or IPv6")
                at += 1
        elif layer == "ieee8021ah":
            take(layer)
        elif layer == "cfp":
            take(layer)
            # The inner Ethernet header belongs to FabricPath.
            if at < len(path) and path[at] == "eth":
                at += 1
        elif layer == "llc":
            index = take("llc")
            if value(row, "llc.dsap", index) != 0xAA or value(row, "llc.oui", index) not in SNAP_OUIS:
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
            # The 802.11 frame, like an Ethernet one, belongs to the GRE header.
            if carried == GRE_WIRELESS and next_layer() == "wlan":
                reason, _ = wireless()
                if reason:
                    return aside(reason)
            if at < len(path) and path[at] == "eth":
                at += 1
        elif layer == "udp":
            index = take("udp")
            inside = path[at] if at < len(path) else "none"
            port = value(row, "udp.dstport", index)
            if inside not in UDP_TUNNELS and port == VXLAN_GPE_PORT:
                piece = take("vxlan_gpe")
                next_protocol = value(row, "vxlan.next_proto", piece)
                carried = VXLAN_GPE_CARRIES.get(next_protocol) if flag(row, "vxlan.p_bit", piece) else "eth"
                if carried is None:
                    return aside(f"VXLAN-GPE carrying next protocol {next_protocol}")
                if inside != carried:
                    return aside(f"VXLAN-GPE payload that tshark reads as {inside}, wiretally as {carried}")
                if inside == "eth":
                    at += 1
            elif inside not in UDP_TUNNELS:
                return aside(f"UDP payload wiretally does not follow (tshark: {inside})")
            elif port != UDP_TUNNELS[inside]:
                return aside(f"{inside} on destination port {port}")
            elif inside == "gre":
                # GRE in UDP: the GRE header comes next, and makes one encapsulation with this UDP header.
                step = 0
            else:
                at += 1
                if inside == "geneve" and value(row, "geneve.version", take("geneve")) != 0:
                    return aside("Geneve version other than 0")
                if inside == "gtp":
                    piece = take("gtp")
                    flags = value(row, "gtp.flags", piece) or 0
                    if flags & 0xF0 != 0x30 or value(row, "gtp.message", piece) != 0xFF:
                        return aside("GTP other than a version 1 G-PDU")
                if inside == "ayiya":
                    piece = take("ayiya")
                    if (value(row, "ayiya.opcode", piece) != AYIYA_FORWARD
                            or value(row, "ayiya.nextheader", piece) not in AYIYA_CARRIES):
                        return aside("AYIYA other than a forwarded IPv4 or IPv6 packet")
                if inside == "capwap.data":
                    piece = take("capwap")
                    # tshark puts CAPWAP fragments together; wiretally does not follow them.
                    if flag(row, "capwap.header.flags.f", piece):
                        return aside("CAPWAP fragment")
                    native = flag(row, "capwap.header.flags.t", piece)
                    if native and value(row, "capwap.header.wbid", piece) != CAPWAP_BINDING_80211:
                        return aside("CAPWAP frame of a wireless binding other than 802.11")
                    carried = "wlan" if native else "eth"
                    if next_layer() != carried:
                        return aside(f"CAPWAP payload that tshark reads as {next_layer()},"
                                     f" wiretally as {carried}")
                    if native:
                        reason, _ = wireless()
                        if reason:
                            return aside(reason)
                if at < len(path) and path[at] == "eth" and inside != "gtp":
                    at += 1
        elif layer == "tcp":
            # A protocol over TCP that carries IP: wiretally stops at this TCP.
            return None, encapsulations > 0, (network, take("tcp")), fragments
        else:
            return aside(f"encapsulation wiretally does not follow (tshark: {layer})")
        tags = tags if layer in TAGS else 0
        after_ip = layer in NETWORK
        encapsulations += step
        if encapsulations > MOST_ENCAPSULATIONS:
            return aside(f"more than {MOST_ENCAPSULATIONS} encapsulations")
    if len(values(row, "tcp.urgent_pointer")) < layers.count("tcp"):
        return "fixed TCP header not captured whole", encapsulations > 0, None, None
    return None, encapsulations > 0, None, fragments


def stops_at_udp(row):
    """Whether tshark stops at a UDP header of length 0 (or unread) that may open a tunnel."""
    layers = [layer for layer in layers_of(row) if layer != "_ws.malformed"]
    length, port = values(row, "udp.length")[-1:], values(row, "udp.dstport")[-1:]
    return layers[-1:] == ["udp"] and length in ([], ["0"]) and (
        not port or int(port[0]) in TUNNEL_PORTS)


def stops_at_vxlan_gpe(row):
    """Whether tshark finds no TCP behind a VXLAN-GPE header without the P bit, which it reads by the next
    protocol field and wiretally as an Ethernet frame."""
    return "tcp" not in layers_of(row) and "0" in values(row, "vxlan.p_bit")


def tshark_frames(capture):
    """tshark's TCP frames, with pseudowires decoded as wiretally reads them; the frames in which tshark
    stops before a tunnel's TCP, at a UDP header of length 0 or a VXLAN-GPE header without the P bit; and
    every frame read, by number, for the lengths and times of fragments. None when tshark failed."""
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
    stopped = [r for r in rows if stops_at_udp(r) or stops_at_vxlan_gpe(r)]
    every = {r["frame.number"]: r for r in rows}
    return sorted(frames.values(), key=lambda r: int(r["frame.number"])), stopped, every


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
    frames, stopped, every = read
    if not frames and not flows:
        return None
    # When tshark stops before a tunnel's TCP, wiretally alone sees it; its flows made only of such frames
    # (by their times) are set aside.
    stopped_times = collections.Counter(microseconds(r["frame.time_epoch"]) for r in stopped)
    unseen, unseen_frames = 0, [r["frame.number"] for r in stopped]

    # tshark's conversations, by unordered endpoint pair.
    expected = collections.defaultdict(lambda: {"packets": collections.Counter(),
                                                "bytes": collections.Counter()})
    left_out = collections.Counter()
    left_out_frames = collections.defaultdict(list)
    texts = {}
    tunnelled_segments = 0
    at_outer, completing = [], []
    for row in frames:
        reason, tunnelled, outer, fragments = follow(row)
        length = int(row["frame.len"])
        if not reason and fragments:
            # The whole packet counts with the wire bytes of its fragments' frames. wiretally gives it up
            # when a fragment comes too long after the first one it saw.
            pieces = sorted((every[number] for number in fragments), key=lambda r: int(r["frame.number"]))
            first = microseconds(pieces[0]["frame.time_epoch"])
            if any(microseconds(r["frame.time_epoch"]) - first > REASSEMBLY_TIMEOUT for r in pieces):
                reason = (f"fragmented tunnel packet whose fragments came over more than"
                          f" {REASSEMBLY_TIMEOUT // 1000000} s")
            length = sum(int(r["frame.len"]) for r in pieces)
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
        if fragments:
            completing.append(row["frame.number"])
        source_text = values(row, inner + ".src")[network]
        destination_text = values(row, inner + ".dst")[network]
        source = endpoint(source_text, values(row, "tcp.srcport")[segment])
        destination = endpoint(destination_text, values(row, "tcp.dstport")[segment])
        texts[source[:2]] = source_text
        texts[destination[:2]] = destination_text
        conversation = expected[tuple(sorted((source, destination)))]
        conversation["packets"][(source, destination)] += 1
        conversation["bytes"][(source, destination)] += length

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
        kinds = [kind for stops, kind in ((stops_at_udp, "a UDP length of 0 (a packet over 64 KiB)"),
                                          (stops_at_vxlan_gpe, "a VXLAN-GPE header without the P bit"))
                 if any(stops(r) for r in stopped)]
        print(f"    set aside: wiretally counts {unseen} segment(s) in {len(unseen_frames)} frame(s) where"
              f" tshark stops before a tunnel's TCP, at {' or '.join(kinds)} (frames {shown})")
    if at_outer:
        shown = ",".join(at_outer[:8]) + ("..." if len(at_outer) > 8 else "")
        print(f"    note: {len(at_outer)} frame(s) counted at an outer TCP that carries IP, where wiretally"
              f" stops (frames {shown})")
    if completing:
        shown = ",".join(completing[:8]) + ("..." if len(completing) > 8 else "")
        print(f"    note: {len(completing)} frame(s) complete a fragmented tunnel packet, counted with the wire"
              f" bytes of all its fragments' frames (frames {shown})")

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
