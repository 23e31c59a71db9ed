// A flow judged from temporary files gives what the same flow judged in memory gives, on random flows with
// every kind of mark (new connections on the same ports, refusals, keep-alives, zero-window probes, copies,
// retransmissions, holes, sequence numbers that wrap past 2^32, times that go backwards), sorted in many
// small runs so that the merges go through more than one level.

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "flow/FlowJudge.h"
#include "flow/SequenceEvaluator.h"
#include "flow/SpilledFlow.h"
#include "measurement/SequenceGraphDrawer.h"

namespace korvo::measurement {
namespace {

// Both directions of one random flow, each in capture order, and the order in which they were captured.
struct RandomFlow {
    std::vector<SegmentRecord> directions[2];
    std::vector<std::size_t> sides;
};

RandomFlow randomFlow(unsigned seed, std::size_t segments) {
    std::mt19937 random(seed);
    // A number below `bound`.
    const auto draw = [&random](std::uint32_t bound) { return static_cast<std::uint32_t>(random() % bound); };
    const auto chance = [&draw](std::uint32_t percent) { return draw(100) < percent; };
    RandomFlow flow;
    // Per direction: the next sequence number to send, the one acknowledged, the identification.
    std::uint32_t next[2] = {0xFFFFF000U - (seed % 7) * 1000, static_cast<std::uint32_t>(random())};
    std::uint16_t identification[2] = {static_cast<std::uint16_t>(random()), 0};
    const bool zeroIdentifications = seed % 3 == 0;
    std::int64_t micros = 1'200'000'000'000'000;
    for (std::uint64_t packet = 1; flow.sides.size() < segments; ++packet) {
        const std::size_t side = chance(65) ? 0 : 1;
        std::vector<SegmentRecord>& own = flow.directions[side];
        micros += chance(3) ? -20'000 : static_cast<std::int64_t>(draw(3000));
        std::uint32_t sequence = next[side];
        std::uint32_t length = 1 + draw(1460);
        std::uint8_t flags = SegmentRecord::kAck;
        const unsigned action = draw(100);
        if (action < 6 && !own.empty()) {
            // A copy of the direction's last segment, or of one long before.
            SegmentRecord copy =
                own[chance(70) ? own.size() - 1 : static_cast<std::size_t>(random() % own.size())];
            copy = SegmentRecord(copy.sequenceNumber, copy.segmentLength, copy.acknowledgementNumber, packet,
                                 boost::posix_time::from_time_t(0) + boost::posix_time::microseconds(micros),
                                 copy.ipIdentification(), 0);
            own.push_back(copy);
            flow.sides.push_back(side);
            continue;
        }
        if (action < 14) {
            sequence = next[side] - draw(6000);  // sent again, or late
        } else if (action < 20) {
            next[side] += draw(3000);  // a hole
            sequence = next[side];
        } else if (action < 28) {
            length = 0;  // a pure acknowledgement
        } else if (action < 33) {
            sequence = next[side] - 1;  // a keep-alive, or a probe
            length = 1;
        } else if (action < 36) {
            // A new connection on the same ports; sometimes refused.
            next[side] = static_cast<std::uint32_t>(random());
            sequence = next[side];
            length = 1;
            flags = chance(50) ? SegmentRecord::kSyn : SegmentRecord::kSyn | SegmentRecord::kAck;
        } else if (action < 38) {
            flags = SegmentRecord::kRst | (chance(50) ? SegmentRecord::kAck : 0);
            length = 0;
        } else if (action < 40) {
            flags |= SegmentRecord::kFin;
            length = 1 + draw(100);
        }
        if (chance(4)) {
            flags |= SegmentRecord::kZeroWindow;
        }
        const std::uint32_t acknowledgement = next[1 - side] - (chance(20) ? draw(4000) : 0);
        if (!zeroIdentifications) {
            identification[side] = static_cast<std::uint16_t>(identification[side] + 1);
        }
        own.emplace_back(sequence, length, acknowledgement, packet,
                         boost::posix_time::from_time_t(0) + boost::posix_time::microseconds(micros),
                         identification[side], flags);
        if (sequence + length - next[side] < 0x80000000U) {
            next[side] = sequence + length;
        }
        flow.sides.push_back(side);
    }
    return flow;
}

// Everything the judge, the receivers and the graph read of a flow, as text.
std::string describe(const SequenceEvaluator& flow) {
    FlowJudge judge({.rows = true, .times = true, .retransmissions = true, .connections = true});
    FlowVerdict verdict;
    judge.judge(flow, verdict);
    std::ostringstream out;
    out << "packets " << flow.packets(0) << ' ' << flow.packets(1) << " data " << flow.dataBytes(0) << ' '
        << flow.dataBytes(1) << " first " << flow.firstPacket() << " span " << flow.captureSpan().first << ' '
        << flow.captureSpan().last << '\n';
    for (std::size_t kind = 0; kind < FlowVerdict::kAnomalyKinds; ++kind) {
        out << "kind " << kind << ": " << verdict.anomalies[kind][0] << ' ' << verdict.anomalies[kind][1]
            << '\n'
            << verdict.rows[kind].str();
        for (const std::int64_t time : verdict.times[kind]) {
            out << time << ' ';
        }
        out << '\n';
    }
    const FlowRetransmissions& resent = verdict.retransmissions.value();
    out << "resent " << resent.retransmissions << ' ' << resent.reverseRetransmissions << ' '
        << resent.retransmittedBytes << ' ' << resent.spurious << ' '
        << (resent.handshake ? resent.handshake->synToSynAck : -1) << '\n'
        << verdict.retransmissionRows.str();
    for (const std::int64_t time : verdict.retransmissionTimes) {
        out << time << ' ';
    }
    const FlowConnection& connection = verdict.connection.value();
    out << "\nconnection " << FlowConnection::nameOf(connection.state) << ' ' << connection.dataBytes[0]
        << ' ' << connection.dataBytes[1] << ' ' << connection.missedBytes << ' ' << connection.allResets()
        << ' ' << connection.allZeroWindows() << ' ' << connection.longestStall;
    if (connection.roundTrips) {
        out << " rtt " << connection.roundTrips->least << ' ' << connection.roundTrips->median << ' '
            << connection.roundTrips->most;
    }
    SequenceGraphDrawer drawer;
    const std::shared_ptr<const SequenceGraph> graph = drawer.draw(flow);
    for (const SequenceGraph::Direction& direction : graph->directions) {
        out << "\ngraph " << direction.allSegments << ' ' << direction.allAcknowledgements << ' '
            << direction.allHoles << ':';
        for (const SequenceGraph::Segment& segment : direction.segments) {
            out << ' ' << segment.time << '/' << segment.start << '/' << segment.end << '/'
                << static_cast<int>(segment.mark);
        }
        for (const SequenceGraph::Acknowledgement& acknowledgement : direction.acknowledgements) {
            out << ' ' << acknowledgement.position << (acknowledgement.zeroWindow ? "z" : "");
        }
        for (const SequenceGraph::Hole& hole : direction.holes) {
            out << ' ' << hole.start << '-' << hole.end;
        }
    }
    return out.str();
}

TEST(SpilledFlow, JudgesEveryRandomFlowAsInMemory) {
    for (unsigned seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE(seed);
        const RandomFlow random = randomFlow(seed, 2000 + seed * 50);
        const bool ipv6 = seed % 4 == 0;
        SequenceEvaluator inMemory;
        SequenceEvaluator fromFiles;
        // Runs of 30 segments: some 70 of them per direction, merged in two levels.
        SpilledFlow spilled(30 * sizeof(SpilledSegment));
        spilled.begin(ipv6);
        std::size_t places[2] = {0, 0};
        for (const std::size_t side : random.sides) {
            spilled.add(side, random.directions[side][places[side]++]);
        }
        spilled.arrange();
        if (ipv6) {
            inMemory.assign(Ipv6FlowTuple(), random.directions[0], random.directions[1]);
            fromFiles.assign(Ipv6FlowTuple(), spilled);
        } else {
            inMemory.assign(FlowTuple(), random.directions[0], random.directions[1]);
            fromFiles.assign(FlowTuple(), spilled);
        }
        const std::string expected = describe(inMemory);
        EXPECT_EQ(describe(fromFiles), expected);
        // The flows hold what the test means them to.
        EXPECT_NE(expected.find("Kind,spurious"), std::string::npos);
        EXPECT_NE(expected.find("PreGapPacketID"), std::string::npos);
    }
}

}  // namespace
}  // namespace korvo::measurement
