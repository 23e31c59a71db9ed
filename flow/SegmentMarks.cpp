#include "flow/SegmentMarks.h"

#include <algorithm>
#include <optional>

#include "flow/CaptureWalk.h"
#include "flow/MarkedPlaces.h"

namespace korvo::measurement {

namespace {

// One data byte: a SYN or FIN sent again occupies one sequence number too, but is neither a keep-alive nor a
// probe.
bool holdsOneDataByte(const SegmentRecord& segment) {
    return segment.segmentLength == 1 && !segment.has(SegmentRecord::kSyn) &&
           !segment.has(SegmentRecord::kFin);
}

}  // namespace

void SegmentMarks::clear() {
    for (std::vector<std::uint32_t>& places : connectionStarts_) {
        places.clear();
    }
    for (std::vector<std::uint32_t>& places : keepAlivesAndProbes_) {
        places.clear();
    }
}

void SegmentMarks::findConnections(std::span<const SegmentRecord> forward,
                                   std::span<const SegmentRecord> reverse) {
    std::array<std::optional<std::uint32_t>, 2> initialSequence;
    // Set when the other direction began a new connection: this direction's next SYN answers it.
    std::array<bool, 2> answerNextSyn{};
    // Set when the other direction began a new connection with a SYN without ACK: this direction's next
    // segment answers it, and a RST refuses it.
    std::array<bool, 2> refuseNext{};
    CaptureWalk::forEach(
        forward, reverse, [&](std::size_t side, std::size_t place, const SegmentRecord& segment) {
            if (!segment.has(SegmentRecord::kSyn)) {
                // A RST that answers the other direction's new SYN refuses it: it belongs to that connection,
                // whatever its sequence number (0, for a reply to a SYN without ACK).
                if (refuseNext[side] && segment.has(SegmentRecord::kRst) && place != 0) {
                    connectionStarts_[side].push_back(static_cast<std::uint32_t>(place));
                    answerNextSyn[side] = false;
                }
                refuseNext[side] = false;
                return;
            }
            // A first SYN after other segments of its direction ends a connection captured in mid-stream.
            const bool newSequence =
                initialSequence[side] ? *initialSequence[side] != segment.sequenceNumber : place != 0;
            if ((newSequence || answerNextSyn[side]) && place != 0) {
                connectionStarts_[side].push_back(static_cast<std::uint32_t>(place));
            }
            initialSequence[side] = segment.sequenceNumber;
            answerNextSyn[side] = false;
            answerNextSyn[1 - side] = answerNextSyn[1 - side] || newSequence;
            refuseNext[side] = false;
            refuseNext[1 - side] = newSequence && !segment.has(SegmentRecord::kAck);
        });
}

void SegmentMarks::findKeepAlivesAndProbes(std::span<const SegmentRecord> forward,
                                           std::span<const std::int64_t> forwardPositions,
                                           std::span<const SegmentRecord> reverse,
                                           std::span<const std::int64_t> reversePositions) {
    const std::array<std::span<const std::int64_t>, 2> positions{forwardPositions, reversePositions};
    std::array<MarkedPlaces, 2> starts{MarkedPlaces(connectionStarts_[0]),
                                       MarkedPlaces(connectionStarts_[1])};
    // Per direction: whether its connection has a segment yet, and the furthest position it reached.
    std::array<bool, 2> reached{};
    std::array<std::int64_t, 2> furthest{};
    std::array<bool, 2> windowClosed{};
    CaptureWalk::forEach(forward, reverse,
                         [&](std::size_t side, std::size_t place, const SegmentRecord& segment) {
                             windowClosed[side] = segment.has(SegmentRecord::kZeroWindow);
                             if (starts[side].holds(place)) {
                                 reached[side] = false;
                             }
                             const std::int64_t start = positions[side][place];
                             const std::int64_t end = start + segment.segmentLength;
                             if (holdsOneDataByte(segment) &&
                                 ((reached[side] && start == furthest[side] - 1) || windowClosed[1 - side])) {
                                 keepAlivesAndProbes_[side].push_back(static_cast<std::uint32_t>(place));
                             }
                             furthest[side] = reached[side] ? std::max(furthest[side], end) : end;
                             reached[side] = true;
                         });
}

}  // namespace korvo::measurement
