// --tunnels: the same traffic bare and inside each encapsulation (and nested ones) gives the same flow and
// segment figures and rows; and a written capture of damaged and unusual encapsulations against a reviewed
// baseline of every result file and the coverage note.
//
// The baseline is tests/e2e/data/Tunnels.baseline. After a reviewed change, rewrite it with
//   WIRETALLY_UPDATE_BASELINES=1 ctest --test-dir build -R TunnelTest.MatchesTheBaseline
// and check the difference with git diff before committing it.

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "e2e/Baseline.h"
#include "e2e/ToolTest.h"
#include "support/CaptureRecords.h"
#include "tools/Encapsulator.h"
#include "tools/synth/Synthesiser.h"

namespace korvo::e2e {
namespace {

namespace fs = std::filesystem;
using tools::Encapsulator;
using tools::FrameBuilder;
using Kind = Encapsulator::Kind;

// Figures of frames and of the packet on the wire, which the added headers change.
constexpr const char* kWireFigures[] = {"TotalVolumeInB", "TrafficLoadInMbps", "TotalVolumeTCPInB",
                                        "NumberJumboIPPackets"};

class TunnelTest : public ToolTest {
protected:
    // A realistic mix of TCP connections, a quarter over IPv6, with every kind of anomaly, frames cut
    // short and VLAN tags.
    void synthesise() const {
        tools::synth::SynthOptions options;
        options.output = tool.path("bare.pcap").string();
        options.seed = 23;
        options.size = 512 * 1024;
        options.truncateShare = 0.01;
        options.mix.concurrency = 16;
        options.mix.vlanShare = 0.2;
        options.mix.ipv6Share = 0.25;
        options.mix.otherShare = 0;
        options.mix.maxTransfer = 64 * 1024;
        options.mix.anomalies = {.loss = 0.02, .reorder = 0.02, .duplicate = 0.02, .retransmit = 0.02};
        tools::synth::synthesise(options);
    }

    // The bare capture with every frame wrapped in `kinds`, the first innermost.
    void writeWrapped(const std::vector<Kind>& kinds, const std::string& name) const {
        const CaptureRecords bare(tool.path("bare.pcap"));
        TestCapture wrapped(tool.path(name));
        for (const CaptureRecords::Record& record : bare.records()) {
            Encapsulator::Frame frame;
            std::memcpy(&frame.wireLength, record.bytes.data() + 12, sizeof frame.wireLength);
            frame.captured.assign(record.bytes.begin() + 16, record.bytes.end());
            for (const Kind kind : kinds) {
                frame = Encapsulator::wrap(kind, frame);
            }
            wrapped.addRecord(
                {static_cast<std::uint32_t>(record.seconds), static_cast<std::uint32_t>(record.microseconds)},
                frame.captured, frame.wireLength);
        }
        wrapped.close();
    }

    [[nodiscard]] RunResult analyseWith(const std::string& capture, const std::string& prefix,
                                        std::vector<std::string> extra = {}) const {
        std::vector<std::string> arguments = {"--ipv6", "-e", "--flow-table", "-i", capture, "-o", prefix};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return tool.run(arguments);
    }

    // The summary without the lines of the wire figures.
    [[nodiscard]] static std::string innerSummary(const ResultFiles& files) {
        std::string summary = files.summary().value_or("(missing)");
        for (const char* figure : kWireFigures) {
            summary = std::regex_replace(summary, std::regex(std::string(figure) + ": .*\n"), "");
        }
        return summary;
    }

    // The flow table without its two columns of wire bytes.
    [[nodiscard]] static std::string flowsWithoutBytes(const ResultFiles& files) {
        static const std::regex bytes(R"(^((?:[^,]*,){10})[^,]*,[^,]*,)",
                                      std::regex::multiline | std::regex::ECMAScript);
        return std::regex_replace(files.detail("Flows").value_or("(missing)"), bytes, "$1,,");
    }
};

TEST_F(TunnelTest, SameTrafficBareAndEncapsulatedGivesTheSameFlowFiguresAndRows) {
    synthesise();
    ASSERT_EQ(analyseWith("bare.pcap", "bare").exitStatus, 0);
    const ResultFiles bare(tool.folder(), "bare");
    ASSERT_NE(bare.summaryValue("NumberTCPFlows"), "0");
    ASSERT_NE(bare.summaryValue("NumberGapsInTCPFlows"), "0");

    std::vector<std::vector<Kind>> cases;
    for (const Kind kind : Encapsulator::kinds()) {
        cases.push_back({kind});
    }
    cases.push_back({Kind::Mpls, Kind::GtpUser, Kind::Erspan3, Kind::StackedVlan, Kind::Vxlan});
    cases.push_back({Kind::Pppoe, Kind::IpInIp, Kind::Geneve, Kind::Backbone, Kind::GreEthernet});
    for (const std::vector<Kind>& kinds : cases) {
        std::string name;
        for (const Kind kind : kinds) {
            name += (name.empty() ? "" : "+") + Encapsulator::nameOf(kind);
        }
        SCOPED_TRACE(name);
        writeWrapped(kinds, "wrapped.pcap");
        const RunResult run = analyseWith("wrapped.pcap", "wrapped", {"--tunnels"});
        expectSuccess(run, "");
        const ResultFiles wrapped(tool.folder(), "wrapped");
        EXPECT_EQ(innerSummary(wrapped), innerSummary(bare));
        for (const std::string& figure : kDetailFigures) {
            if (figure != "NumberJumboIPPackets") {
                EXPECT_EQ(wrapped.detail(figure), bare.detail(figure)) << figure;
            }
        }
        EXPECT_EQ(flowsWithoutBytes(wrapped), flowsWithoutBytes(bare));
    }

    // Without the option the figures are those of the outer headers, and the note names the frames left
    // out.
    writeWrapped({Kind::Vxlan}, "vxlan.pcap");
    const RunResult plain = analyseWith("vxlan.pcap", "plain");
    EXPECT_EQ(plain.exitStatus, 0);
    EXPECT_TRUE(std::regex_match(plain.standardError,
                                 std::regex("Frames left out: [0-9]+ inside tunnels or behind stacked VLAN "
                                            "tags \\(--tunnels decodes them\\)\n")))
        << plain.standardError;
    EXPECT_EQ(ResultFiles(tool.folder(), "plain").summaryValue("NumberTCPFlows"), "0");
}

// The same connections inside several tunnels are one flow; threads and temporary files change nothing.
TEST_F(TunnelTest, ThreadsAndTemporaryFilesChangeNothing) {
    synthesise();
    writeWrapped({Kind::Gre, Kind::Vxlan}, "wrapped.pcap");
    ASSERT_EQ(analyseWith("wrapped.pcap", "one", {"--tunnels", "--threads", "1"}).exitStatus, 0);
    ASSERT_EQ(
        analyseWith("wrapped.pcap", "two", {"--tunnels", "--threads", "2", "--max-memory", "64K"}).exitStatus,
        0);
    const ResultFiles one(tool.folder(), "one");
    const ResultFiles two(tool.folder(), "two");
    EXPECT_EQ(one.summary(), two.summary());
    for (const std::string& figure : kDetailFigures) {
        EXPECT_EQ(one.detail(figure), two.detail(figure)) << figure;
    }
    EXPECT_EQ(one.detail("Flows"), two.detail("Flows"));
}

// Frame by frame, after 2008-03-05 14:07:09 UTC, all of one connection 10.0.0.1:1000 <-> 10.0.0.2:80:
//  1:  the SYN inside VXLAN.
//  2:  the SYN-ACK with 1450 bytes inside GRE with key and sequence number: the outer IPv4 packet, 1522
//      bytes, is the jumbo one.
//  3:  100 bytes of data inside MPLS: the segment's own packet is the outermost IP packet.
//  4:  GRE of version 1 (PPTP): not followed, no TCP, not noted.
//  5:  GRE with the routing flag: likewise.
//  6:  VXLAN whose UDP payload is 4 bytes: cut short.
//  7:  Geneve whose options run past the frame: cut short.
//  8:  an MPLS stack with no bottom label within the frame: cut short.
//  9:  PPPoE whose length field claims more than the frame: the length is not needed, the data segment
//      (a hole of 100 bytes before it) is analysed.
//  10: nine nested GRE: too deep.
//  11: IP in IP in IP... to depth 9: too deep.
//  12: six stacked VLAN tags: too deep.
//  13: a data segment whose inner packet is a fragment: not analysed.
//  14: an outer fragment of a GRE packet: counted as a fragment, not followed.
//  15: IPv6 in IPv4 carrying the client's last segment, IPv6 not analysed: counted as IPv6.
//  16: the FIN inside GTP-U, behind a QinQ pair and PBB.
// Then a second connection, 10.0.0.1:2000 <-> 10.0.0.2:80:
//  17: the SYN inside VXLAN-GPE inside ERSPAN II inside GRE.
//  18: the SYN-ACK inside PPPoE whose PPP protocol field is compressed to one byte.
//  19: 100 bytes inside CAPWAP, as a protected 802.11 frame: not followed, no TCP.
//  20: 100 bytes inside FabricPath cut short in its FTag: cut short.
//  21: 100 bytes inside AYIYA inside GRE in UDP.
void writeBaselineCapture(TestCapture& capture) {
    const std::uint32_t t = kMarch2008;
    const std::uint32_t client = address(10, 0, 0, 1);
    const std::uint32_t server = address(10, 0, 0, 2);
    const auto segment = [&](bool fromClient, std::uint32_t sequence, std::uint8_t flags, std::size_t bytes) {
        FrameBuilder builder;
        builder.ipv4(fromClient ? client : server, fromClient ? server : client)
            .tcp(fromClient ? 1000 : 80, fromClient ? 80 : 1000, sequence, flags, fromClient ? 9001 : 5001)
            .payload(bytes);
        const std::vector<std::uint8_t> frame = builder.build();
        return Encapsulator::Frame{frame, static_cast<std::uint32_t>(frame.size())};
    };
    const auto wrap = [](Encapsulator::Frame frame, std::initializer_list<Kind> kinds) {
        for (const Kind kind : kinds) {
            frame = Encapsulator::wrap(kind, frame);
        }
        return frame;
    };
    const auto add = [&capture, t](std::uint32_t micros, const Encapsulator::Frame& frame) {
        capture.addRecord({t, micros}, frame.captured, frame.wireLength);
    };
    // The byte at `offset` of a frame replaced.
    const auto patched = [](Encapsulator::Frame frame, std::size_t offset, std::uint8_t value) {
        frame.captured.at(offset) = value;
        return frame;
    };
    const auto cut = [](Encapsulator::Frame frame, std::size_t length) {
        frame.captured.resize(length);
        return frame;
    };

    add(1, wrap(segment(true, 5000, FrameBuilder::kTcpSyn, 0), {Kind::Vxlan}));
    add(2, wrap(segment(false, 9000, FrameBuilder::kTcpSyn | FrameBuilder::kTcpAck, 1450), {Kind::Gre}));
    add(3, wrap(segment(true, 5001, FrameBuilder::kTcpAck, 100), {Kind::Mpls}));
    const Encapsulator::Frame gre = wrap(segment(true, 5101, FrameBuilder::kTcpAck, 10), {Kind::Gre});
    add(4, patched(gre, 14 + 20 + 1, 0x01));
    add(5, patched(gre, 14 + 20, 0x40));
    add(6, cut(wrap(segment(true, 5101, FrameBuilder::kTcpAck, 10), {Kind::Vxlan}), 14 + 20 + 8 + 4));
    add(7, patched(wrap(segment(true, 5101, FrameBuilder::kTcpAck, 10), {Kind::Geneve}), 14 + 20 + 8, 0x3F));
    add(8, cut(wrap(segment(true, 5101, FrameBuilder::kTcpAck, 10), {Kind::Mpls}), 14 + 6));
    add(9, patched(wrap(segment(true, 5201, FrameBuilder::kTcpAck, 10), {Kind::Pppoe}), 14 + 4, 0xFF));
    Encapsulator::Frame deep = segment(true, 5101, FrameBuilder::kTcpAck, 10);
    Encapsulator::Frame ipInIp = deep;
    for (int level = 0; level < 9; ++level) {
        deep = Encapsulator::wrap(Kind::Gre, deep);
        ipInIp = Encapsulator::wrap(Kind::IpInIp, ipInIp);
    }
    add(10, deep);
    add(11, ipInIp);
    add(12, wrap(segment(true, 5101, FrameBuilder::kTcpAck, 10),
                 {Kind::StackedVlan, Kind::StackedVlan, Kind::StackedVlan}));
    Encapsulator::Frame fragment = segment(true, 5101, FrameBuilder::kTcpAck, 10);
    fragment.captured[14 + 6] = 0x20;
    add(13, wrap(fragment, {Kind::Vxlan}));
    add(14, patched(wrap(segment(true, 5101, FrameBuilder::kTcpAck, 10), {Kind::Gre}), 14 + 7, 0x10));
    FrameBuilder v6;
    v6.ipv6(FrameBuilder::ipv6Of(client), FrameBuilder::ipv6Of(server))
        .tcp(1000, 80, 5211, FrameBuilder::kTcpAck, 9001)
        .payload(10);
    const std::vector<std::uint8_t> v6Frame = v6.build();
    add(15, wrap({v6Frame, static_cast<std::uint32_t>(v6Frame.size())}, {Kind::IpInIp}));
    add(16, wrap(segment(true, 5211, FrameBuilder::kTcpFin | FrameBuilder::kTcpAck, 0),
                 {Kind::GtpUser, Kind::StackedVlan, Kind::Backbone}));

    const auto second = [&](bool fromClient, std::uint32_t sequence, std::uint8_t flags, std::size_t bytes) {
        const std::vector<std::uint8_t> frame =
            FrameBuilder()
                .ipv4(fromClient ? client : server, fromClient ? server : client)
                .tcp(fromClient ? 2000 : 80, fromClient ? 80 : 2000, sequence, flags,
                     fromClient ? 7001 : 3001)
                .payload(bytes)
                .build();
        return Encapsulator::Frame{frame, static_cast<std::uint32_t>(frame.size())};
    };
    add(17, wrap(second(true, 3000, FrameBuilder::kTcpSyn, 0), {Kind::VxlanGpe, Kind::Erspan2}));
    add(18,
        wrap(second(false, 7000, FrameBuilder::kTcpSyn | FrameBuilder::kTcpAck, 0), {Kind::PppoeCompressed}));
    // The CAPWAP header, then the 802.11 frame control's flags: protected.
    add(19, patched(wrap(second(true, 3001, FrameBuilder::kTcpAck, 100), {Kind::Capwap}), 14 + 20 + 8 + 8 + 1,
                    0x41));
    add(20, cut(wrap(second(true, 3001, FrameBuilder::kTcpAck, 100), {Kind::FabricPath}), 15));
    add(21, wrap(second(true, 3001, FrameBuilder::kTcpAck, 100), {Kind::Ayiya, Kind::GreInUdp}));
}

TEST_F(TunnelTest, MatchesTheBaseline) {
    TestCapture capture = newCapture();
    writeBaselineCapture(capture);
    capture.close();

    const RunResult result =
        tool.run({"--tunnels", "--json", "-e", "--flow-table", "-i", kCapture, "-o", kPrefix});
    expectSuccess(result,
                  "Only IPv4 is analysed; frames left out: 1 carrying IPv6 (--ipv6 analyses them), 7 inside "
                  "tunnels cut short or too deep\n");
    std::string all = allResults(results);
    all += "== Summary.json coverage\n" + jsonSection(tool.path("out.Summary.json"), "coverage");

    // Without the option the tunnels are recognised by their first encapsulation and noted.
    EXPECT_EQ(
        tool.run({"--json", "-e", "-i", kCapture, "-o", kPrefix}).standardError,
        "Only IPv4 is analysed; frames left out: 18 inside tunnels or behind stacked VLAN tags (--tunnels "
        "decodes them)\n");
    EXPECT_EQ(results.summaryValue("NumberTCPFlows"), "0");
    all += "== Summary.json coverage without --tunnels\n" +
           jsonSection(tool.path("out.Summary.json"), "coverage");
    expectMatchesBaseline(all, "Tunnels.baseline");
}

}  // namespace
}  // namespace korvo::e2e
