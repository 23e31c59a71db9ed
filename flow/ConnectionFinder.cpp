#include "flow/ConnectionFinder.h"

#include <algorithm>
#include <limits>

namespace korvo::measurement {

namespace {

using State = FlowConnection::State;

constexpr std::size_t kNoSide = 2;

// Acknowledged segments are dropped from the pending list this many at a time at least.
constexpr std::size_t kLeastDropped = 4096;

// Segments that open or close a connection carry windows that say nothing of a stall.
bool countsForWindow(const SegmentRecord& segment) {
    return !segment.has(SegmentRecord::kSyn) && !segment.has(SegmentRecord::kFin) &&
           !segment.has(SegmentRecord::kRst);
}

}  // namespace

FlowConnection ConnectionFinder::find(const SequenceEvaluator& flow) {
    FlowConnection found;
    for (Progress& progress : progress_) {
        progress.reached = false;
        progress.pending.clear();
        progress.acknowledgedUpTo = 0;
    }
    // A flow judged from temporary files sorts its samples there too.
    samples_.clear(flow.spilled() != nullptr ? flow.spilled()->sortBytes() / sizeof(std::int64_t)
                                             : std::numeric_limits<std::size_t>::max());
    Connection connection;
    // Per side: whether its window is closed, and since when.
    std::array<bool, 2> stalled{};
    std::array<std::int64_t, 2> stalledSince{};
    std::int64_t lastTime = 0;

    flow.walkCapture(0, [&](std::size_t side, const PlacedSegment& placed) {
        const SegmentRecord& segment = placed.segment;
        const std::int64_t time = segment.captureMicros();
        lastTime = time;
        Progress& sender = progress_[side];
        const bool starts = placed.startsConnection;
        if (starts) {
            sender.reached = false;
            sender.pending.clear();
            sender.acknowledgedUpTo = 0;
        }
        const bool pureSyn = segment.has(SegmentRecord::kSyn) && !segment.has(SegmentRecord::kAck);
        // A connection begins at a SYN that does not answer the one followed, and at the first SYN of all:
        // what either side sent before it (a RST, say) is an earlier part.
        if ((starts && segment.has(SegmentRecord::kSyn) && !answers(connection, side, segment)) ||
            (pureSyn && connection.firstPureSyn == kNoSide && connection.firstSynAck == kNoSide)) {
            connection = Connection{};
        }
        note(connection, side, segment);
        found.resets[side] += segment.has(SegmentRecord::kRst) ? 1U : 0U;
        if (starts || segment.has(SegmentRecord::kRst)) {
            // A connection's end ends its stalls.
            for (std::size_t stalledSide = 0; stalledSide < 2; ++stalledSide) {
                if (stalled[stalledSide]) {
                    found.longestStall = std::max(found.longestStall, time - stalledSince[stalledSide]);
                    stalled[stalledSide] = false;
                }
            }
        }
        if (countsForWindow(segment)) {
            const bool closed = segment.has(SegmentRecord::kZeroWindow);
            if (closed && !stalled[side]) {
                ++found.zeroWindows[side];
                stalledSince[side] = time;
            } else if (!closed && stalled[side]) {
                found.longestStall = std::max(found.longestStall, time - stalledSince[side]);
            }
            stalled[side] = closed;
        }
        // A RST's acknowledgement number may be anything.
        if (segment.has(SegmentRecord::kAck) && !segment.has(SegmentRecord::kRst)) {
            acknowledge(progress_[1 - side], segment);
        }
        const std::int64_t start = placed.position;
        const std::int64_t end = start + segment.segmentLength;
        sender.last.set(start, segment.sequenceNumber);
        if (segment.segmentLength == 0 || placed.keepAliveOrProbe) {
            return;
        }
        if (!sender.reached || start >= sender.furthest) {
            if (segment.dataLength() != 0) {
                sender.pending.push_back({end, time});
            }
        } else {
            // Sent again, or behind a later segment: whichever copy an acknowledgement answers is unknown.
            while (sender.pending.size() > sender.acknowledgedUpTo && sender.pending.back().end > start) {
                sender.pending.pop_back();
            }
        }
        sender.furthest = sender.reached ? std::max(sender.furthest, end) : end;
        sender.reached = true;
    });
    for (std::size_t stalledSide = 0; stalledSide < 2; ++stalledSide) {
        // A window never opened again stalls the flow to its last segment.
        if (stalled[stalledSide]) {
            found.longestStall = std::max(found.longestStall, lastTime - stalledSince[stalledSide]);
        }
    }
    found.state = outcome(connection);
    found.dataBytes[0] = dataBytes(flow, 0, found.missedBytes);
    found.dataBytes[1] = dataBytes(flow, 1, found.missedBytes);
    found.roundTrips = samples_.summary();
    return found;
}

void ConnectionFinder::note(Connection& connection, std::size_t side, const SegmentRecord& segment) {
    Sent& sent = connection.sent[side];
    sent.any = true;
    if (segment.has(SegmentRecord::kSyn)) {
        if (segment.has(SegmentRecord::kAck)) {
            sent.synAck = true;
            connection.firstSynAck = connection.firstSynAck == kNoSide ? side : connection.firstSynAck;
        } else {
            sent.pureSyn = true;
            connection.firstPureSyn = connection.firstPureSyn == kNoSide ? side : connection.firstPureSyn;
        }
    }
    sent.fin = sent.fin || segment.has(SegmentRecord::kFin);
    if (segment.has(SegmentRecord::kRst)) {
        sent.rst = true;
        connection.firstRst = connection.firstRst == kNoSide ? side : connection.firstRst;
    }
}

bool ConnectionFinder::answers(const Connection& connection, std::size_t side, const SegmentRecord& segment) {
    return segment.has(SegmentRecord::kAck) && connection.sent[1 - side].pureSyn &&
           !connection.sent[side].synAck;
}

State ConnectionFinder::outcome(const Connection& connection) {
    if (connection.firstPureSyn == kNoSide && connection.firstSynAck == kNoSide) {
        return State::kOTH;
    }
    const std::size_t originator =
        connection.firstPureSyn != kNoSide ? connection.firstPureSyn : 1 - connection.firstSynAck;
    const Sent& opener = connection.sent[originator];
    const Sent& answerer = connection.sent[1 - originator];
    if (opener.pureSyn && !answerer.synAck) {
        if (answerer.rst) {
            return State::kREJ;
        }
        if (opener.rst) {
            return State::kRSTOS0;
        }
        if (opener.fin) {
            return State::kSH;
        }
        return answerer.any ? State::kOTH : State::kS0;
    }
    if (!opener.pureSyn) {
        if (answerer.rst) {
            return State::kRSTRH;
        }
        return answerer.fin ? State::kSHR : State::kOTH;
    }
    if (connection.firstRst != kNoSide) {
        return connection.firstRst == originator ? State::kRSTO : State::kRSTR;
    }
    if (opener.fin && answerer.fin) {
        return State::kSF;
    }
    if (opener.fin) {
        return State::kS2;
    }
    return answerer.fin ? State::kS3 : State::kS1;
}

void ConnectionFinder::acknowledge(Progress& progress, const SegmentRecord& ack) {
    if (!progress.reached) {
        return;
    }
    // An acknowledgement beyond everything captured covers what the capture missed too: all that waits.
    const std::int64_t position = progress.last.place(ack.acknowledgementNumber);
    const std::int64_t time = ack.captureMicros();
    while (progress.acknowledgedUpTo < progress.pending.size() &&
           progress.pending[progress.acknowledgedUpTo].end <= position) {
        const std::int64_t roundTrip = time - progress.pending[progress.acknowledgedUpTo].time;
        // Capture times that go backwards time nothing.
        if (roundTrip >= 0) {
            samples_.add(roundTrip);
        }
        ++progress.acknowledgedUpTo;
    }
    // What was acknowledged is never read again: once it is most of the list, it goes, so that the list
    // holds what is in flight rather than all a long connection ever sent.
    if (progress.acknowledgedUpTo >= kLeastDropped &&
        progress.acknowledgedUpTo * 2 >= progress.pending.size()) {
        progress.pending.erase(
            progress.pending.begin(),
            progress.pending.begin() + static_cast<std::ptrdiff_t>(progress.acknowledgedUpTo));
        progress.acknowledgedUpTo = 0;
    }
}

std::uint64_t ConnectionFinder::dataBytes(const SequenceEvaluator& flow, std::size_t side,
                                          std::uint64_t& missed) {
    // Most directions of a scan hold one segment, whose data is all its own.
    if (flow.packets(side) <= 1) {
        return flow.dataBytes(side);
    }
    std::uint64_t data = 0;
    bool first = true;
    // The furthest end reached by the sequence space occupied, and by the data.
    std::int64_t coveredEnd = 0;
    std::int64_t dataEnd = 0;
    flow.walkSequence(side, [&](const PlacedSegment& placed) {
        const SegmentRecord& segment = placed.segment;
        const std::int64_t start = placed.position;
        const std::int64_t end = start + segment.segmentLength;
        const std::int64_t dataStart = start + (segment.has(SegmentRecord::kSyn) ? 1 : 0);
        const std::int64_t dataStop = dataStart + segment.dataLength();
        if (first) {
            coveredEnd = end;
            dataEnd = dataStart;
            first = false;
        } else if (start > coveredEnd) {
            missed += static_cast<std::uint64_t>(start - coveredEnd);
        }
        coveredEnd = std::max(coveredEnd, end);
        if (dataStop > std::max(dataStart, dataEnd)) {
            data += static_cast<std::uint64_t>(dataStop - std::max(dataStart, dataEnd));
            dataEnd = dataStop;
        }
    });
    return data;
}

}  // namespace korvo::measurement
