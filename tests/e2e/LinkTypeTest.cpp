// Captures of every decoded link type: the same traffic gives the same flow figures and detail rows as over
// Ethernet, and only the figures of wire bytes differ, by the link headers. Link types that are not decoded
// give the frame-level figures and a warning; frames that carry IPv6 or sit behind stacked tags are noted.

#include <pcap/dlt.h>

#include <sstream>
#include <string>
#include <vector>

#include "e2e/ToolTest.h"
#include "support/CaptureRecords.h"
#include "support/LinkFraming.h"

namespace korvo::e2e {
namespace {

using tools::FrameBuilder;

struct TrafficFrame {
    CaptureTime at;
    std::vector<std::uint8_t> frame;
    // Bytes missing from the end of the captured frame.
    std::size_t missing = 0;
    bool carriesTcp = false;
};

// One connection with a hole, a late segment and a repeated one, a one-way tagged flow, a jumbo packet, a
// fragmented UDP datagram, plain UDP and a frame captured short.
std::vector<TrafficFrame> traffic() {
    const std::uint32_t client = address(10, 0, 0, 1);
    const std::uint32_t server = address(10, 0, 0, 2);
    const auto segment = [](std::uint32_t from, std::uint32_t to, std::uint16_t id) {
        return FrameBuilder().ipv4(from, to).ipIdentification(id);
    };
    const auto at = [](std::uint32_t micros) { return CaptureTime{kMarch2008, micros}; };
    using FB = FrameBuilder;
    return {
        {at(0), segment(client, server, 1).tcp(1234, 80, 1000, FB::kTcpSyn).build(), 0, true},
        {at(100), segment(server, client, 2).tcp(80, 1234, 5000, FB::kTcpSyn | FB::kTcpAck).build(), 0, true},
        {at(200), segment(client, server, 3).tcp(1234, 80, 1001).payload(100).build(), 0, true},
        {at(300), segment(client, server, 4).tcp(1234, 80, 1201).payload(100).build(), 0, true},
        {at(400), segment(client, server, 5).tcp(1234, 80, 1101).payload(100).build(), 0, true},
        {at(500), segment(client, server, 4).tcp(1234, 80, 1201).payload(100).build(), 0, true},
        {at(600), segment(client, server, 6).tcp(1234, 80, 1401).payload(1400).build(), 1000, true},
        {at(700), segment(address(10, 0, 0, 3), address(10, 0, 0, 4), 7).vlan(7).tcp(5555, 443, 7).build(), 0,
         true},
        {at(800), segment(server, client, 8).tcp(80, 1234, 5001).payload(2000).build(), 0, true},
        {at(900), segment(client, server, 9).ipFlagsAndOffset(0x2000).udp(53, 53).payload(64).build(), 0,
         false},
        {at(1000), segment(client, server, 9).ipFlagsAndOffset(9).ipProtocol(17).payload(30).build(), 0,
         false},
        {at(1100), segment(client, server, 10).udp(53, 53).payload(20).build(), 0, false},
        {at(1200), segment(client, server, 11).tcp(1234, 80, 2801, FB::kTcpFin | FB::kTcpAck).build(), 0,
         true},
    };
}

class LinkTypeTest : public ToolTest {
protected:
    struct Volumes {
        std::uint64_t all = 0;
        std::uint64_t tcp = 0;
    };

    // Writes the traffic as a capture of `linkType` and returns its wire bytes.
    Volumes writeTraffic(const std::string& name, const LinkType& linkType) const {
        TestCapture capture(tool.path(name), linkType.number);
        Volumes volumes;
        for (const TrafficFrame& entry : traffic()) {
            const std::vector<std::uint8_t> frame = LinkFraming::reframe(entry.frame, linkType);
            capture.addCut(entry.at, frame, frame.size() - entry.missing);
            volumes.all += frame.size();
            volumes.tcp += entry.carriesTcp ? frame.size() : 0;
        }
        capture.close();
        return volumes;
    }

    // The summary with the values of the figures of wire bytes taken out.
    static std::string withoutWireBytes(const std::string& summary) {
        std::istringstream lines(summary);
        std::string kept;
        for (std::string line; std::getline(lines, line);) {
            for (const char* figure : {"TotalVolumeInB: ", "TrafficLoadInMbps: ", "TotalVolumeTCPInB: "}) {
                if (line.starts_with(figure)) {
                    line = figure;
                }
            }
            kept += line + "\n";
        }
        return kept;
    }
};

TEST_F(LinkTypeTest, EveryDecodedLinkTypeGivesTheFlowFiguresAndRowsOfEthernet) {
    writeTraffic("ethernet.pcap", {LinkFraming::kEthernet, "Ethernet"});
    expectQuietSuccess(tool.run({"-i", "ethernet.pcap", "-o", "ethernet", "-e"}));
    const ResultFiles ethernet(tool.folder(), "ethernet");
    ASSERT_EQ(ethernet.summaryValue("NumberTCPFlows"), "2");
    ASSERT_EQ(ethernet.summaryValue("NumberTCPGapFlows"), "1");
    ASSERT_EQ(ethernet.summaryValue("NumberOutOfOrderTCPPackets"), "1");
    ASSERT_EQ(ethernet.summaryValue("NumberTCPDuplicates"), "1");
    ASSERT_EQ(ethernet.summaryValue("NumberJumboIPPackets"), "1");
    ASSERT_EQ(ethernet.summaryValue("NumberIPFragments"), "2");

    for (const LinkType& linkType : LinkFraming::decodedLinkTypes()) {
        SCOPED_TRACE(linkType.name);
        const std::string capture = linkType.name + ".pcap";
        const Volumes volumes = writeTraffic(capture, linkType);

        expectQuietSuccess(tool.run({"-i", capture, "-o", linkType.name, "-e"}));

        const ResultFiles framed(tool.folder(), linkType.name);
        EXPECT_EQ(framed.summaryValue("TotalVolumeInB"), std::to_string(volumes.all));
        EXPECT_EQ(framed.summaryValue("TotalVolumeTCPInB"), std::to_string(volumes.tcp));
        EXPECT_EQ(withoutWireBytes(framed.summary().value_or("")),
                  withoutWireBytes(ethernet.summary().value_or("-")));
        for (const std::string& figure : kDetailFigures) {
            EXPECT_EQ(framed.detail(figure), ethernet.detail(figure)) << figure;
        }
    }
}

// Frames of a link type that is not decoded are not lifted to IP, even where their bytes would read as
// Ethernet carrying IPv4 and TCP; their frame-level figures are reported.
TEST_F(LinkTypeTest, UndecodedLinkTypeGivesTheFrameLevelFiguresAndAWarning) {
    constexpr std::uint32_t kIeee802154 = 195;
    const auto frame = FrameBuilder().ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2)).tcp(1, 2, 3).build();
    TestCapture(tool.path(kCapture), kIeee802154)
        .add({kMarch2008, 0}, frame)
        .addCut({kMarch2008 + 1, 0}, frame, 20)
        .close();

    const RunResult result = analyse(true);

    expectSuccess(
        result,
        "Link type IEEE802_15_4 (195) is not decoded: only the frame-level figures (TotalVolumeInB, "
        "TrafficLoadInMbps, CaptureDuration, NumberOfTruncatedPackets) are reported\n");
    EXPECT_EQ(results.summaryValue("TotalVolumeInB"), "108");
    EXPECT_EQ(results.summaryValue("CaptureDuration"), "00:00:01");
    EXPECT_EQ(results.summaryValue("TotalVolumeTCPInB"), "0");
    EXPECT_EQ(results.summaryValue("NumberTCPFlows"), "0");
    EXPECT_EQ(results.detail("NumberOfTruncatedPackets"), "Packet Number,2\n");
}

// A capture of bare IPv6 packets is left out whole: the warning, and the note that counts its frames.
TEST_F(LinkTypeTest, IPv6LinkTypeIsWarnedAboutAndNoted) {
    constexpr std::uint32_t kIPv6 = DLT_IPV6;
    TestCapture(tool.path(kCapture), kIPv6).add({kMarch2008, 0}, std::vector<std::uint8_t>(40, 0x60)).close();

    const RunResult result = analyse();

    expectSuccess(result,
                  "Link type IPV6 (229) is not decoded: only the frame-level figures (TotalVolumeInB, "
                  "TrafficLoadInMbps, CaptureDuration, NumberOfTruncatedPackets) are reported\n"
                  "Only IPv4 is analysed; frames left out: 1 carrying IPv6 (--ipv6 analyses them)\n");
    EXPECT_EQ(results.summaryValue("TotalVolumeInB"), "40");
}

// Under radiotap: a protected data frame, an 802.11 fragment and a frame cut inside the radio header are left
// out and counted, in the note and the JSON; the plain one is analysed.
TEST_F(LinkTypeTest, EncryptedAndCutShortWirelessFramesAreNoted) {
    const LinkType radiotap{LinkFraming::kRadiotap, "Radiotap"};
    const std::vector<std::uint8_t> frame = LinkFraming::reframe(
        FrameBuilder().ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2)).tcp(1, 2, 3).build(), radiotap);
    std::vector<std::uint8_t> protectedFrame = frame;
    // The 802.11 frame control's flags follow the 17 bytes of the radio header and its first byte.
    protectedFrame[17 + 1] |= 0x40;
    // The second fragment of a larger body: fragment number 1 in the sequence control.
    std::vector<std::uint8_t> fragment = frame;
    fragment[17 + 22] |= 0x01;
    TestCapture(tool.path(kCapture), radiotap.number)
        .add({kMarch2008, 0}, frame)
        .add({kMarch2008, 1}, protectedFrame)
        .add({kMarch2008, 3}, fragment)
        .addCut({kMarch2008, 2}, frame, 12)
        .close();

    const RunResult result = tool.run({"--json", "-i", kCapture, "-o", kPrefix});

    expectSuccess(
        result,
        "Only IPv4 is analysed; frames left out: 2 encrypted or fragmented 802.11, 1 cut short in their link "
        "header\n");
    EXPECT_EQ(results.summaryValue("NumberTCPFlows"), "1");
    const std::string json = fileBytes(tool.path("out.Summary.json"));
    EXPECT_NE(json.find("\"unreadable80211\": 2"), std::string::npos) << json;
    EXPECT_NE(json.find("\"linkHeaderCutShort\": 1"), std::string::npos) << json;
}

// Behind one 802.1Q tag only IPv4 is lifted: a tagged ARP frame is dropped unnoted, a tagged IPv6 frame is
// noted as IPv6, and frames behind two tags (service tag, old QinQ TPID, or a tag inside a tag) are noted as
// stacked. Each of them carries IPv4 and TCP headers after the tag, which must not be read.
TEST_F(LinkTypeTest, TaggedFramesOtherThanIPv4AreDroppedAndNoted) {
    const auto tagged = [](std::uint16_t outer, std::uint16_t inner) {
        auto frame =
            FrameBuilder().vlan(3).ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2)).tcp(1, 2, 3).build();
        frame[12] = static_cast<std::uint8_t>(outer >> 8);
        frame[13] = static_cast<std::uint8_t>(outer);
        frame[16] = static_cast<std::uint8_t>(inner >> 8);
        frame[17] = static_cast<std::uint8_t>(inner);
        return frame;
    };
    newCapture()
        .add({kMarch2008, 0}, tagged(0x8100, 0x0806))
        .add({kMarch2008, 1}, tagged(0x8100, 0x86DD))
        .add({kMarch2008, 2}, tagged(0x88A8, 0x8100))
        .add({kMarch2008, 3}, tagged(0x9100, 0x8100))
        .add({kMarch2008, 4}, tagged(0x8100, 0x8100))
        .add({kMarch2008, 5}, FrameBuilder().nonIp(FrameBuilder::kEtherTypeIPv6, 40).build())
        .add({kMarch2008, 6}, tagged(0x8100, 0x0800))
        .close();

    const RunResult result = analyse(true);

    expectSuccess(result,
                  "Only IPv4 is analysed; frames left out: 2 carrying IPv6 (--ipv6 analyses them), 3 inside "
                  "tunnels or behind stacked VLAN tags (--tunnels decodes them)\n");
    EXPECT_EQ(results.summaryValue("TotalVolumeTCPInB"), "58");
    EXPECT_EQ(results.summaryValue("NumberTCPFlows"), "1");
    EXPECT_EQ(results.summaryValue("NumberIPFragments"), "0");
}

// IPv6 as each decoded link type names it: the cooked protocol field, the version nibble of raw IP, and the
// three address families of the loopback headers, in both byte orders for NULL.
TEST_F(LinkTypeTest, IPv6IsNotedUnderEveryLinkType) {
    const std::vector<std::uint8_t> ipv6(40, 0x60);
    const auto withHeader = [&ipv6](std::vector<std::uint8_t> header) {
        header.insert(header.end(), ipv6.begin(), ipv6.end());
        return header;
    };
    const auto cooked = FrameBuilder().nonIp(FrameBuilder::kEtherTypeIPv6, 40).build();
    struct Case {
        std::uint32_t linkType;
        std::vector<std::vector<std::uint8_t>> frames;
    };
    const std::vector<Case> cases = {
        {LinkFraming::kLinuxCooked,
         {LinkFraming::reframe(cooked, {LinkFraming::kLinuxCooked, "LinuxCooked"})}},
        {LinkFraming::kLinuxCooked2,
         {LinkFraming::reframe(cooked, {LinkFraming::kLinuxCooked2, "LinuxCooked2"})}},
        {LinkFraming::kRaw, {ipv6}},
        {LinkFraming::kNull,
         {withHeader({24, 0, 0, 0}), withHeader({0, 0, 0, 28}), withHeader({30, 0, 0, 0}),
          withHeader({0, 0, 0, 30})}},
        {LinkFraming::kLoop,
         {withHeader({0, 0, 0, 24}), withHeader({0, 0, 0, 28}), withHeader({0, 0, 0, 30})}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("link type " + std::to_string(c.linkType));
        TestCapture capture(tool.path(kCapture), c.linkType);
        for (const auto& frame : c.frames) {
            capture.add({kMarch2008, 0}, frame);
        }
        capture.close();

        const RunResult result = analyse();

        expectSuccess(result, "Only IPv4 is analysed; frames left out: " + std::to_string(c.frames.size()) +
                                  " carrying IPv6 (--ipv6 analyses them)\n");
    }
}

}  // namespace
}  // namespace korvo::e2e
