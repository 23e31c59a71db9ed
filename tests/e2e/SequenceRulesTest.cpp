// The rules that keep the sequence figures honest on real captures, one written capture each against a
// reviewed baseline of every result file, the retransmission files, the coverage note and the JSON coverage:
// a new connection on reused ports, a copy against a resend, segments that are never late, IP lengths beyond
// the wire, and an acknowledgement of what was never sent.
//
// The baselines are tests/e2e/data/SequenceRules.*.baseline. After a reviewed change, rewrite them with
//   WIRETALLY_UPDATE_BASELINES=1 ctest --test-dir build -R SequenceRulesTest
// and check the difference with git diff before committing it.

#include <string>

#include "e2e/Baseline.h"
#include "e2e/ConnectionFrames.h"
#include "e2e/ToolTest.h"

namespace korvo::e2e {
namespace {

using tools::FrameBuilder;

constexpr std::uint8_t kSyn = FrameBuilder::kTcpSyn;
constexpr std::uint8_t kAck = FrameBuilder::kTcpAck;
constexpr std::uint8_t kFin = FrameBuilder::kTcpFin;
constexpr std::uint8_t kRst = 0x04;
// Where the IP header starts in a frame of the frame builder.
constexpr std::size_t kIpHeader = 14;

class SequenceRulesTest : public ToolTest {
protected:
    // Runs the tool with every output on the capture written so far and compares them with the baseline.
    void expectBaseline(const std::string& name) {
        capture_.close();
        const RunResult result = tool.run(
            {"--retransmissions", "--ipv6", "--json", "-e", "--flow-table", "-i", kCapture, "-o", kPrefix});
        EXPECT_EQ(result.exitStatus, 0);
        std::string all = allResults(results);
        for (const std::string figure : {"NumberTCPRetransmissions", "NumberTCPRetransmissionFlows"}) {
            all += "== " + figure + ".csv\n" + results.detail(figure).value_or("(missing)\n");
        }
        all += "== standard error\n" + result.standardError;
        all += "== Summary.json coverage\n" + jsonSection(tool.path("out.Summary.json"), "coverage");
        expectMatchesBaseline(all, "SequenceRules." + name + ".baseline");
    }

    // Adds `micros` to the time of the last segment and returns it.
    std::uint32_t after(std::uint32_t micros) { return time_ += micros; }

    TestCapture capture_ = newCapture();
    ConnectionFrames frames_{capture_};
    std::uint32_t time_ = 0;
};

// Port 1001: a connection (client 1000, server 5000) with 100 bytes and FINs, then a second one whose client
// starts higher (900000) and whose server starts lower (2000). Port 1002: the same with the client starting
// lower (1000 after 900000) and the server higher. Port 1010: a connection captured in mid-stream (no SYN)
// and closed, then a new one. One flow each, two handshakes on each of the first two (the first is timed:
// 20 ms and 2 ms), and neither a hole nor a segment out of order between the connections.
TEST_F(SequenceRulesTest, ReusedPortsStartANewSequenceSpace) {
    const auto connection = [this](std::uint16_t port, std::uint32_t client, std::uint32_t server) {
        frames_.add(after(10), {port, true, client, kSyn});
        frames_.add(after(20000), {port, false, server, kSyn | kAck, client + 1});
        frames_.add(after(2000), {port, true, client + 1, kAck, server + 1});
        frames_.add(after(10), {port, true, client + 1, kAck, server + 1, 100});
        frames_.add(after(10), {port, false, server + 1, kAck, client + 101});
        frames_.add(after(10), {port, true, client + 101, kFin | kAck, server + 1});
        frames_.add(after(10), {port, false, server + 1, kFin | kAck, client + 102});
        frames_.add(after(10), {port, true, client + 102, kAck, server + 2});
        time_ += 1000000;
    };
    connection(1001, 1000, 5000);
    connection(1001, 900000, 2000);
    connection(1002, 900000, 7000);
    connection(1002, 1000, 9000000);
    frames_.add(after(10), {1010, true, 70000, kAck, 300, 100});
    frames_.add(after(10), {1010, false, 300, kAck, 70100});
    frames_.add(after(10), {1010, true, 70100, kFin | kAck, 300});
    frames_.add(after(10), {1010, false, 300, kFin | kAck, 70101});
    time_ += 1000000;
    connection(1010, 5000, 90000);
    expectBaseline("ReusedPorts");
}

// Port 1003, a sender that writes identification 0: a SYN, a copy of it 1 ms later (a repeat), the same
// SYN again 1 s later (a resend: a retransmission), then the handshake.
TEST_F(SequenceRulesTest, OnlyACopyThatComesAtOnceIsARepeat) {
    frames_.add(after(0), {1003, true, 1000, kSyn, 0, 0, 0});
    frames_.add(after(1000), {1003, true, 1000, kSyn, 0, 0, 0});
    frames_.add(after(1000000), {1003, true, 1000, kSyn, 0, 0, 0});
    frames_.add(after(20000), {1003, false, 5000, kSyn | kAck, 1001});
    frames_.add(after(1000), {1003, true, 1001, kAck, 5001, 0, 0});
    expectBaseline("Copies");
}

// Port 1004, each of these captured behind the client's furthest segment: a pure acknowledgement (sent
// before the data it follows), a keep-alive of one byte and one of none, a zero-window probe of the first
// unacknowledged byte, and a RST without data. None is out of order; none is a retransmission.
TEST_F(SequenceRulesTest, SegmentsWithoutNewDataAreNeverOutOfOrder) {
    frames_.add(after(0), {1004, true, 1000, kSyn});
    frames_.add(after(10000), {1004, false, 5000, kSyn | kAck, 1001});
    frames_.add(after(1000), {1004, true, 1001, kAck, 5001});
    frames_.add(after(10), {1004, true, 1001, kAck, 5001, 100});
    frames_.add(after(10), {1004, true, 1101, kAck, 5001, 100});
    frames_.add(after(10), {1004, true, 1001, kAck, 5001});
    frames_.add(after(10000), {1004, false, 5001, kAck, 1201});
    frames_.add(after(10), {1004, true, 1201, kAck, 5001});
    frames_.add(after(7000000), {1004, true, 1200, kAck, 5001, 1});
    frames_.add(after(10), {1004, true, 1200, kAck, 5001});
    frames_.add(after(10), {1004, false, 5001, kAck, 1201});
    frames_.add(after(10), {1004, true, 1201, kAck, 5001, 50});
    frames_.add(after(10), {1004, true, 1251, kAck, 5001, 50});
    frames_.add(after(10000), {1004, false, 5001, kAck, 1201, 0, std::nullopt, 0});
    frames_.add(after(200000), {1004, true, 1201, kAck, 5001, 1});
    frames_.add(after(10000), {1004, false, 5001, kAck, 1301});
    frames_.add(after(10), {1004, true, 1250, kRst});
    expectBaseline("NeverOutOfOrder");
}

// Port 1005: a SYN-ACK of 54 wire bytes whose IPv4 total length claims 4148; port 2006: an IPv6 SYN-ACK whose
// payload length claims 3000. Each is as long as its frame, so the data after it overlaps nothing. Then an
// IPv4 header of version 5 claiming 21360 bytes behind EtherType 0x0800 (no jumbo packet), and one of
// version 5 behind 0x86DD: both malformed IP, left out and noted.
TEST_F(SequenceRulesTest, LengthsBeyondTheWireAreCutToIt) {
    // Writes `length` into the 16-bit length field at `field` bytes into the IP header.
    const auto claim = [](std::size_t field, std::uint16_t length) {
        return [field, length](std::vector<std::uint8_t>& frame) {
            frame[kIpHeader + field] = static_cast<std::uint8_t>(length >> 8);
            frame[kIpHeader + field + 1] = static_cast<std::uint8_t>(length);
        };
    };
    const auto version5 = [](std::vector<std::uint8_t>& frame) {
        frame[kIpHeader] = static_cast<std::uint8_t>(0x50 | (frame[kIpHeader] & 0x0F));
    };
    for (const std::uint16_t port : {std::uint16_t{1005}, std::uint16_t{2006}}) {
        frames_.add(after(10), {port, true, 1000, kSyn});
        frames_.add(after(10000), {port, false, 5000, kSyn | kAck, 1001},
                    port == 1005 ? claim(2, 4148) : claim(4, 3000));
        frames_.add(after(1000), {port, true, 1001, kAck, 5001});
        frames_.add(after(10), {port, false, 5001, kAck, 1001, 100});
        frames_.add(after(10), {port, true, 1001, kAck, 5101});
    }
    frames_.add(after(10), {1007, true, 1000, kAck, 1, 9}, [&](std::vector<std::uint8_t>& frame) {
        claim(2, 21360)(frame);
        version5(frame);
    });
    frames_.add(after(10), {2008, true, 1000, kAck, 1, 9}, version5);
    expectBaseline("LengthsBeyondTheWire");
}

// Port 1009: a SYN, an acknowledgement from the server far beyond anything the client sent, then the SYN
// again: a retransmission, not spurious, since the stray acknowledgement acknowledges nothing.
TEST_F(SequenceRulesTest, AStrayAcknowledgementMakesNothingSpurious) {
    frames_.add(after(0), {1009, true, 1000, kSyn});
    frames_.add(after(10000), {1009, false, 7000, kAck, 5000});
    frames_.add(after(1000000), {1009, true, 1000, kSyn});
    expectBaseline("StrayAcknowledgement");
}

}  // namespace
}  // namespace korvo::e2e
