// --ipv6: the same traffic over IPv4 and over IPv6 gives the same figures and rows under every link type
// that carries IPv6, on one thread and on several with temporary files; and a written capture of extension
// headers, fragments, jumbograms and damaged packets against a reviewed baseline of every result file.
//
// The baseline is tests/e2e/data/Ipv6.baseline. After a reviewed change, rewrite it with
//   WIRETALLY_UPDATE_BASELINES=1 ctest --test-dir build -R Ipv6Test.MatchesTheBaseline
// and check the difference with git diff before committing it.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/Baseline.h"
#include "e2e/ToolTest.h"
#include "support/CaptureRecords.h"
#include "support/Ipv6Conversion.h"
#include "support/LinkFraming.h"
#include "tools/synth/Synthesiser.h"

namespace korvo::e2e {
namespace {

namespace fs = std::filesystem;
using tools::FrameBuilder;

constexpr const char* kDuplicateFigures[] = {"NumberTCPDuplicates", "NumberTCPFlowDuplicates"};

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The IPv4 run's text as the IPv6 run of the same traffic writes it: every address as its IPv4-mapped
// IPv6 address, bracketed where a port follows it in a flow text, and the duplicates column of the flow
// table 0, since no IPv6 segment is a duplicate.
std::string asIpv6Text(const std::string& text) {
    static const std::regex endpoint(R"((\d+\.\d+\.\d+\.\d+):(\d+))");
    static const std::regex address(R"(,(\d+\.\d+\.\d+\.\d+),)");
    static const std::regex duplicates(R"(,\d+(,[01]\r)$)");
    std::string mapped = std::regex_replace(text, endpoint, "[::ffff:$1]:$2");
    mapped = std::regex_replace(mapped, address, ",::ffff:$1,");
    // Twice: neighbouring address fields share their comma.
    mapped = std::regex_replace(mapped, address, ",::ffff:$1,");
    std::string lines;
    std::istringstream in(mapped);
    for (std::string line; std::getline(in, line);) {
        lines += std::regex_replace(line, duplicates, ",0$1") + "\n";
    }
    return lines;
}

class Ipv6Test : public ToolTest {
protected:
    // A realistic mix of TCP connections with every kind of anomaly, frames cut short and VLAN tags, and no
    // other traffic; written over IPv4 with header options and over IPv6, both under `linkType`.
    void writeBothForms(const LinkType& linkType) const {
        const fs::path synthetic = tool.path("synthetic.pcap");
        if (!fs::exists(synthetic)) {
            tools::synth::SynthOptions options;
            options.output = synthetic.string();
            options.seed = 11;
            options.size = 1024 * 1024;
            options.truncateShare = 0.01;
            options.mix.concurrency = 16;
            options.mix.vlanShare = 0.2;
            options.mix.jumboShare = 0.05;
            options.mix.maxTransfer = 64 * 1024;
            options.mix.anomalies = {.loss = 0.02, .reorder = 0.02, .duplicate = 0.02, .retransmit = 0.02};
            tools::synth::synthesise(options);
        }
        TestCapture ipv4(tool.path("ipv4.pcap"),
                         linkType.number == LinkFraming::kIPv6 ? LinkFraming::kRaw : linkType.number);
        TestCapture ipv6(tool.path("ipv6.pcap"), linkType.number);
        const LinkType ipv4Type =
            linkType.number == LinkFraming::kIPv6 ? LinkType{LinkFraming::kRaw, "Raw"} : linkType;
        const CaptureRecords records(synthetic);
        for (const CaptureRecords::Record& record : records.records()) {
            std::uint32_t wireLength = 0;
            std::memcpy(&wireLength, record.bytes.data() + 12, sizeof wireLength);
            const Ipv6Conversion::Frame frame{{record.bytes.begin() + 16, record.bytes.end()}, wireLength};
            const CaptureTime at{static_cast<std::uint32_t>(record.seconds),
                                 static_cast<std::uint32_t>(record.microseconds)};
            for (auto [capture, form, type] :
                 {std::tuple{&ipv4, Ipv6Conversion::withIpv4Options(frame), ipv4Type},
                  std::tuple{&ipv6, Ipv6Conversion::overIpv6(frame), linkType}}) {
                const std::vector<std::uint8_t> framed = LinkFraming::reframe(form.captured, type);
                const auto cut = static_cast<std::uint32_t>(form.wireLength - form.captured.size());
                capture->addRecord(at, framed, static_cast<std::uint32_t>(framed.size()) + cut);
            }
        }
        ipv4.close();
        ipv6.close();
    }

    [[nodiscard]] RunResult analyseWith(const std::string& capture, const std::string& prefix,
                                        std::vector<std::string> extra = {}) const {
        std::vector<std::string> arguments = {"--ipv6", "-e", "--flow-table", "-i", capture, "-o", prefix};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return tool.run(arguments);
    }

    [[nodiscard]] std::string allResults(const std::string& prefix) const {
        return e2e::allResults(ResultFiles(tool.folder(), prefix));
    }
};

TEST_F(Ipv6Test, SameTrafficOverIpv4AndIpv6GivesTheSameFiguresAndRows) {
    std::vector<LinkType> linkTypes = LinkFraming::ipv6LinkTypes();
    linkTypes.insert(linkTypes.begin(), LinkType{LinkFraming::kEthernet, "Ethernet"});
    for (const LinkType& linkType : linkTypes) {
        SCOPED_TRACE(linkType.name);
        writeBothForms(linkType);
        ASSERT_EQ(analyseWith("ipv4.pcap", "v4").exitStatus, 0);
        ASSERT_EQ(analyseWith("ipv6.pcap", "v6").exitStatus, 0);
        const ResultFiles ipv4(tool.folder(), "v4");
        const ResultFiles ipv6(tool.folder(), "v6");

        for (const char* figure : kDuplicateFigures) {
            EXPECT_NE(ipv4.summaryValue(figure), "0") << figure << ": the traffic should hold duplicates";
            EXPECT_EQ(ipv6.summaryValue(figure), "0") << figure;
            EXPECT_EQ(ipv6.detail(figure), "") << figure;
        }
        std::string expectedSummary = ipv4.summary().value_or("");
        for (const char* figure : kDuplicateFigures) {
            const std::string line = std::string(figure) + ": ";
            const std::size_t at = expectedSummary.find(line) + line.size();
            expectedSummary.replace(at, expectedSummary.find('\n', at) - at, "0");
        }
        EXPECT_EQ(ipv6.summary(), expectedSummary);
        EXPECT_NE(ipv6.summaryValue("NumberTCPFlows"), "0");
        for (const std::string& figure : kDetailFigures) {
            if (std::find(std::begin(kDuplicateFigures), std::end(kDuplicateFigures), figure) ==
                std::end(kDuplicateFigures)) {
                EXPECT_EQ(sortedLines(ipv6.detail(figure).value_or("")),
                          sortedLines(asIpv6Text(ipv4.detail(figure).value_or(""))))
                    << figure;
            }
        }
        EXPECT_EQ(sortedLines(ipv6.detail("Flows").value_or("")),
                  sortedLines(asIpv6Text(ipv4.detail("Flows").value_or(""))));
    }
}

// Frame by frame, after 2008-03-05 14:07:09 UTC:
//  1-3: TCP [2001:db8::1]:443 <-> [2001:db8::2]:51000 behind hop-by-hop, routing and destination options
//       headers, one segment an atomic fragment, with a hole of 100 bytes; the reply behind a VLAN tag.
//  4:   an IPv4 flow, which comes first in every file.
//  5:   the first fragment of a datagram (offset 0, more fragments), its TCP header cut off: a fragment.
//  6:   a chain of nine extension headers in front of TCP: not analysed.
//  7:   an extension header whose length points past the frame: not analysed.
//  8:   a segment captured up to the middle of its chain: truncated, not analysed.
//  9:   1600 bytes of TCP data, a jumbo packet, in [::ffff:192.0.2.1]:80 -> [fe80::1:0:0:5]:8080.
//  10:  a jumbogram (payload length 0; a jumbo payload option of 70000 bytes, 190 bytes in), cut short;
//       the 70040 bytes it claims are beyond the frame's wire length, so it is as long as the frame (2196),
//       and the next segment opens a hole.
//  11:  payload length 0 and no jumbo option: the length is the frame's.
//  12:  a payload length beyond the frame: as long as the frame, so no jumbo packet.
//  13:  IPv6 behind two VLAN tags: left out and noted.
//  14:  TCP [2001:db8:0:1:1:1:1:1]:1 -> [::]:2, a lone SYN: simplex.
//  15:  the first flow again, its TCP header behind 112 bytes of destination options.
void writeBaselineCapture(TestCapture& capture) {
    const std::uint32_t t = kMarch2008;
    const FrameBuilder::Ipv6Address server{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    FrameBuilder::Ipv6Address client = server;
    client[15] = 2;
    const std::vector<std::uint8_t> hopByHop = {0, 0, 1, 4, 0, 0, 0, 0};
    const std::vector<std::uint8_t> routing = {0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<std::uint8_t> destination = {0, 1, 1, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<std::uint8_t> atomicFragment = {0, 0, 0, 0, 0, 0, 0, 7};
    capture.add({t, 0}, FrameBuilder()
                            .ipv6(server, client)
                            .ipv6Extension(0, hopByHop)
                            .ipv6Extension(43, routing)
                            .ipv6Extension(60, destination)
                            .tcp(443, 51000, 1000)
                            .payload(100)
                            .build());
    capture.add({t, 1}, FrameBuilder()
                            .vlan(7)
                            .ipv6(client, server)
                            .tcp(51000, 443, 7000, FrameBuilder::kTcpAck, 1100)
                            .build());
    capture.add({t, 2}, FrameBuilder()
                            .ipv6(server, client)
                            .ipv6Extension(44, atomicFragment)
                            .tcp(443, 51000, 1200)
                            .payload(50)
                            .build());
    capture.add({t, 3}, FrameBuilder().ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2)).tcp(1, 2, 3).build());

    const std::vector<std::uint8_t> firstFragment = {0, 0, 0, 1, 0, 0, 0, 9};
    capture.add({t, 4}, FrameBuilder()
                            .ipv6(server, client)
                            .ipv6Extension(44, firstFragment)
                            .ipProtocol(6)
                            .payload(10)
                            .build());
    FrameBuilder deep;
    deep.ipv6(server, client);
    for (int header = 0; header < 9; ++header) {
        deep.ipv6Extension(60, {0, 0, 1, 4, 0, 0, 0, 0});
    }
    capture.add({t, 5}, deep.tcp(443, 51000, 1250).build());
    capture.add({t, 6}, FrameBuilder()
                            .ipv6(server, client)
                            .ipv6Extension(60, {0, 200, 1, 4, 0, 0, 0, 0})
                            .tcp(443, 51000, 1250)
                            .build());
    const std::vector<std::uint8_t> chained = FrameBuilder()
                                                  .ipv6(server, client)
                                                  .ipv6Extension(0, hopByHop)
                                                  .ipv6Extension(60, destination)
                                                  .tcp(443, 51000, 1250)
                                                  .build();
    capture.addCut({t, 7}, chained, 14 + 40 + 12);

    const FrameBuilder::Ipv6Address mapped{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 192, 0, 2, 1};
    const FrameBuilder::Ipv6Address linkLocal{0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 5};
    capture.add({t, 8}, FrameBuilder().ipv6(mapped, linkLocal).tcp(80, 8080, 1).payload(1600).build());
    // The jumbo payload option (70000 bytes) behind 126 bytes of padding, far into the frame.
    std::vector<std::uint8_t> jumboOption = {0, 16, 1, 126};
    jumboOption.resize(130);
    jumboOption.insert(jumboOption.end(), {0xC2, 4, 0, 1, 0x11, 0x70});
    capture.addCut({t, 9},
                   FrameBuilder()
                       .ipv6(mapped, linkLocal)
                       .ipv6Extension(0, jumboOption)
                       .ipv6PayloadLength(0)
                       .tcp(80, 8080, 1601)
                       .payload(2000)
                       .build(),
                   240);
    capture.add({t, 10}, FrameBuilder()
                             .ipv6(mapped, linkLocal)
                             .ipv6PayloadLength(0)
                             .tcp(80, 8080, 71445)
                             .payload(1500)
                             .build());
    capture.add({t, 11}, FrameBuilder()
                             .ipv6(mapped, linkLocal)
                             .ipv6PayloadLength(3000)
                             .tcp(80, 8080, 72945)
                             .payload(10)
                             .build());
    std::vector<std::uint8_t> stacked =
        FrameBuilder().vlan(1).ipv6(server, client).tcp(443, 51000, 1).build();
    stacked.insert(stacked.begin() + 12, {0x88, 0xA8, 0, 2});
    capture.add({t, 12}, stacked);

    const FrameBuilder::Ipv6Address ones{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1};
    capture.add(
        {t, 13},
        FrameBuilder().ipv6(ones, FrameBuilder::Ipv6Address{}).tcp(1, 2, 5, FrameBuilder::kTcpSyn).build());
    std::vector<std::uint8_t> padding = {0, 13, 1, 108};
    padding.resize(112);
    capture.add({t, 14}, FrameBuilder()
                             .ipv6(server, client)
                             .ipv6Extension(60, padding)
                             .tcp(443, 51000, 1250)
                             .payload(10)
                             .build());
}

// Several threads (a reading thread that passes on only the headers, and the IPv6 shards handed out like the
// IPv4 ones) and temporary files change no byte, also where extension headers reach far into a frame.
TEST_F(Ipv6Test, ThreadsAndTemporaryFilesChangeNothing) {
    writeBothForms({LinkFraming::kEthernet, "Ethernet"});
    TestCapture capture(tool.path("baseline.pcap"));
    writeBaselineCapture(capture);
    capture.close();
    for (const char* name : {"ipv6.pcap", "baseline.pcap"}) {
        ASSERT_EQ(analyseWith(name, "one", {"--threads", "1"}).exitStatus, 0);
        ASSERT_EQ(analyseWith(name, "spilled", {"--threads", "3", "--max-memory", "2K"}).exitStatus, 0);
        EXPECT_EQ(allResults("spilled"), allResults("one")) << name;
    }
}

TEST_F(Ipv6Test, MatchesTheBaseline) {
    TestCapture capture = newCapture();
    writeBaselineCapture(capture);
    capture.close();

    const RunResult result = analyseWith(kCapture, kPrefix, {"--json"});
    expectSuccess(result,
                  "Frames left out: 1 inside tunnels or behind stacked VLAN tags (--tunnels decodes them)\n");

    expectMatchesBaseline(allResults(kPrefix), "Ipv6.baseline");

    // Without the option the same capture is analysed as before: its IPv6 frames are left out and noted.
    EXPECT_EQ(
        analyse(true).standardError,
        "Only IPv4 is analysed; frames left out: 13 carrying IPv6 (--ipv6 analyses them), 1 inside tunnels "
        "or behind stacked VLAN tags (--tunnels decodes them)\n");
    EXPECT_EQ(results.summaryValue("NumberTCPFlows"), "1");
}

}  // namespace
}  // namespace korvo::e2e
