// The flow table's arrangements and hand-out order: sequence order by unwrapped position with newest-first
// ties, identification order, direction by first packet, and flows ordered by signed hash then first
// appearance.

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <string>
#include <vector>

#include "flow/GapFinder.h"
#include "flow/OOOFinder.h"
#include "flow/RepeatFinder.h"
#include "flow/SequenceEvaluatorMultimap.h"
#include "tools/FrameBuilder.h"

namespace korvo::measurement {
namespace {

using tools::FrameBuilder;

constexpr std::uint32_t kClient = 0x0A000001;
constexpr std::uint32_t kServer = 0x0A000002;

struct SeenSegment {
    std::uint32_t sequenceNumber;
    std::uint64_t packetNumber;
    friend bool operator==(const SeenSegment&, const SeenSegment&) = default;
};

struct SeenDirection {
    std::vector<SeenSegment> bySequence, byCapture, byId;
};

struct SeenFlow {
    std::string tuple;
    SeenDirection forward, reverse;
};

// Copies out what every handed-out flow holds, since the evaluator is valid only during the call.
class FlowRecorder : public SequenceEvaluatorHandler {
public:
    using SequenceEvaluatorHandler::SequenceEvaluatorHandler;

    void handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& /*verdict*/) override {
        flows.push_back({flow.getTuple().toString(), copy(flow.forward()), copy(flow.reverse())});
    }

    std::vector<SeenFlow> flows;

private:
    static std::vector<SeenSegment> copy(const SegmentList& list) {
        std::vector<SeenSegment> segments;
        for (const SegmentRecord& record : list) {
            segments.push_back({record.sequenceNumber, record.packetNumber()});
        }
        return segments;
    }
    static SeenDirection copy(const SequenceEvaluator::Direction& direction) {
        return {copy(direction.bySequence), copy(direction.byCapture), copy(direction.byId)};
    }
};

class FlowTableTest : public ::testing::Test {
protected:
    void send(const std::vector<std::uint8_t>& frame) {
        constexpr std::uint32_t kEthernetLength = 14;
        ++packetNumber;
        const auto* header = reinterpret_cast<const net::ip*>(frame.data() + kEthernetLength);
        source.signal(IPPacket{header, static_cast<std::uint32_t>(frame.size()),
                               static_cast<std::uint32_t>(frame.size() - kEthernetLength), packetNumber,
                               boost::posix_time::ptime(boost::gregorian::date(2020, 1, 1))});
    }
    void sendTcp(std::uint32_t from, std::uint16_t fromPort, std::uint32_t to, std::uint16_t toPort,
                 std::uint32_t sequenceNumber, std::uint16_t identification = 0) {
        send(FrameBuilder()
                 .ipv4(from, to)
                 .ipIdentification(identification)
                 .tcp(fromPort, toPort, sequenceNumber)
                 .payload(100)
                 .build());
    }
    std::vector<SeenFlow> evaluate() {
        table.evaluateFlows();
        return recorder.flows;
    }

    IPPacketSource source;
    SequenceEvaluatorMultimap table{source};
    FlowRecorder recorder{table};
    std::uint64_t packetNumber = 0;
};

TEST_F(FlowTableTest, SequenceOrderFollowsPositionsUnwrappedInCaptureOrder) {
    // 100 has wrapped past 2^32 and lies furthest; 4294966000 lies 1000 below the first segment. The two
    // 4294967000 segments stand newest first.
    for (const std::uint32_t sequenceNumber : {4294967000U, 100U, 4294966000U, 4294967000U, 4294967290U}) {
        sendTcp(kClient, 1000, kServer, 80, sequenceNumber);
    }
    const std::vector<SeenFlow> flows = evaluate();
    ASSERT_EQ(flows.size(), 1U);
    const std::vector<SeenSegment> expected = {
        {4294966000, 3}, {4294967000, 4}, {4294967000, 1}, {4294967290, 5}, {100, 2}};
    EXPECT_EQ(flows[0].forward.bySequence, expected);
    const std::vector<SeenSegment> captured = {
        {4294967000, 1}, {100, 2}, {4294966000, 3}, {4294967000, 4}, {4294967290, 5}};
    EXPECT_EQ(flows[0].forward.byCapture, captured);
    EXPECT_TRUE(flows[0].reverse.byCapture.empty());
}

TEST_F(FlowTableTest, IdentificationOrderUsesTheFieldAsStoredWithTiesInCaptureOrder) {
    // Identification 256 is sent as bytes 01 00 (key 1); identification 1 as bytes 00 01 (key 256).
    sendTcp(kClient, 1000, kServer, 80, 1, 1);
    sendTcp(kClient, 1000, kServer, 80, 2, 256);
    sendTcp(kClient, 1000, kServer, 80, 3, 1);
    sendTcp(kClient, 1000, kServer, 80, 4, 256);
    const std::vector<SeenFlow> flows = evaluate();
    ASSERT_EQ(flows.size(), 1U);
    const std::vector<SeenSegment> expected = {{2, 2}, {4, 4}, {1, 1}, {3, 3}};
    EXPECT_EQ(flows[0].forward.byId, expected);
}

TEST_F(FlowTableTest, FirstPacketFixesTheForwardDirection) {
    sendTcp(kServer, 80, kClient, 1000, 500);
    sendTcp(kClient, 1000, kServer, 80, 100);
    sendTcp(kServer, 80, kClient, 1000, 600);
    const std::vector<SeenFlow> flows = evaluate();
    ASSERT_EQ(flows.size(), 1U);
    EXPECT_EQ(flows[0].tuple, "TCP 10.0.0.2:80 -> 10.0.0.1:1000");
    EXPECT_EQ(flows[0].forward.byCapture, (std::vector<SeenSegment>{{500, 1}, {600, 3}}));
    EXPECT_EQ(flows[0].reverse.byCapture, (std::vector<SeenSegment>{{100, 2}}));
}

TEST_F(FlowTableTest, FlowsSharingAHashComeInFirstAppearanceOrderAfterNegativeHashes) {
    sendTcp(kClient, 2000, kServer, 1000, 1);  // hash H
    sendTcp(kClient, 1000, kServer, 2000, 1);  // same hash H, a different flow
    sendTcp(0xFF000001, 1, 0xFF000002, 2, 1);  // 255.0.0.x: a negative hash
    sendTcp(kServer, 2000, kClient, 1000, 1);  // the reverse of the second flow
    const std::vector<SeenFlow> flows = evaluate();
    ASSERT_EQ(flows.size(), 3U);
    EXPECT_EQ(flows[0].tuple, "TCP 255.0.0.1:1 -> 255.0.0.2:2");
    EXPECT_EQ(flows[1].tuple, "TCP 10.0.0.1:2000 -> 10.0.0.2:1000");
    EXPECT_EQ(flows[2].tuple, "TCP 10.0.0.1:1000 -> 10.0.0.2:2000");
    EXPECT_EQ(flows[2].reverse.byCapture.size(), 1U);
}

TEST_F(FlowTableTest, SameEndpointsFileEverythingForward) {
    sendTcp(0x7F000001, 5000, 0x7F000001, 5000, 1);
    sendTcp(0x7F000001, 5000, 0x7F000001, 5000, 2);
    const std::vector<SeenFlow> flows = evaluate();
    ASSERT_EQ(flows.size(), 1U);
    EXPECT_EQ(flows[0].forward.byCapture.size(), 2U);
    EXPECT_TRUE(flows[0].reverse.byCapture.empty());
}

TEST_F(FlowTableTest, IgnoresOtherProtocolsAndUncapturedTcpHeaders) {
    send(FrameBuilder().ipv4(kClient, kServer).udp(53, 53).payload(10).build());
    std::vector<std::uint8_t> cut = FrameBuilder().ipv4(kClient, kServer).tcp(1, 2, 3).build();
    cut.resize(14 + 20 + 19);
    send(cut);
    EXPECT_TRUE(evaluate().empty());
}

// Counts the anomalies of every forward direction with the three finders, without rows.
class AnomalyCounter : public SequenceEvaluatorHandler {
public:
    using SequenceEvaluatorHandler::SequenceEvaluatorHandler;

    void handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& /*verdict*/) override {
        DetailText unused;
        gaps += GapFinder(false).findGaps(flow, 0, unused);
        outOfOrder += OOOFinder(false).findOutOfOrder(flow, 0, unused);
        repeats += RepeatFinder(false).findRepeats(flow, 0, unused);
    }

    std::uint64_t gaps = 0, outOfOrder = 0, repeats = 0;
};

TEST_F(FlowTableTest, LongDirectionArrivingInDescendingOrder) {
    constexpr std::uint32_t kSegments = 200000;
    constexpr std::uint32_t kFirst = 1000000000;
    constexpr std::uint32_t kStep = 100;
    AnomalyCounter counter(table);
    for (std::uint32_t index = 0; index < kSegments; ++index) {
        sendTcp(kClient, 1000, kServer, 80, kFirst - index * kStep, static_cast<std::uint16_t>(index));
    }
    table.evaluateFlows();
    // Each segment lies below every earlier one.
    EXPECT_EQ(counter.outOfOrder, kSegments - 1);
    // Every segment's 100 bytes reach the start of the one 100 above it: no hole.
    EXPECT_EQ(counter.gaps, 0U);
    // Identifications cycle through 65536 values, but a reused one carries another sequence number.
    EXPECT_EQ(counter.repeats, 0U);
}

}  // namespace
}  // namespace korvo::measurement
