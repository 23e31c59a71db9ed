#include "flow/SpilledFlow.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <tuple>

#include "flow/ConnectionStarts.h"
#include "flow/ExternalSort.h"
#include "flow/KeepAlivesAndProbes.h"
#include "flow/RepeatFinder.h"
#include "flow/RunWriter.h"

namespace korvo::measurement {

namespace {

// Sequence order: ascending position, equal positions captured last first.
struct BySequence {
    bool operator()(const SpilledSegment& left, const SpilledSegment& right) const {
        return left.position != right.position ? left.position < right.position : left.place > right.place;
    }
};

// What a copy repeats: the identification key, then the fields a copy has alike, then capture order. The
// last earlier segment like a segment comes right before it.
struct ByCopy {
    bool operator()(const SpilledSegment& left, const SpilledSegment& right) const {
        return std::tuple(left.record.ipIdentification(), left.record.sequenceNumber,
                          left.record.segmentLength, left.record.acknowledgementNumber, left.place) <
               std::tuple(right.record.ipIdentification(), right.record.sequenceNumber,
                          right.record.segmentLength, right.record.acknowledgementNumber, right.place);
    }
};

// The order of a repeat's rows: ascending identification key, then capture order.
struct ById {
    bool operator()(const SpilledSegment& left, const SpilledSegment& right) const {
        return std::pair(left.record.ipIdentification(), left.place) <
               std::pair(right.record.ipIdentification(), right.place);
    }
};

}  // namespace

void SpilledFlow::begin(bool ipv6) {
    ipv6_ = ipv6;
    firstPacket_ = std::numeric_limits<std::uint64_t>::max();
    span_ = {std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()};
    for (Side& side : sides_) {
        side = Side{};
        side.recordFile = std::make_unique<RunFile<SegmentRecord>>();
        side.adding.emplace(*side.recordFile);
        side.arranged = std::make_unique<RunFile<SpilledSegment>>();
    }
    repeatPlaces_ = std::make_unique<RunFile<std::uint32_t>>();
    oneByteSegment_ = false;
}

void SpilledFlow::add(std::size_t side, const SegmentRecord& record) {
    Side& own = sides_[side];
    if (own.packets == std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("A direction of one TCP flow holds more segments than one run can analyse");
    }
    ++own.packets;
    own.dataBytes += record.dataLength();
    firstPacket_ = std::min(firstPacket_, record.packetNumber());
    span_.first = std::min(span_.first, record.captureMicros());
    span_.last = std::max(span_.last, record.captureMicros());
    own.adding->add(record);
}

void SpilledFlow::arrange() {
    for (Side& side : sides_) {
        side.records = side.adding->finish();
        side.adding.reset();
    }
    placeConnections();
    writeByCapture();
    for (std::size_t side = 0; side < 2; ++side) {
        sides_[side].recordFile.reset();
        sortBySequence(side);
        if (!ipv6_ && sides_[side].packets >= 2) {
            findRepeats(side);
        }
    }
}

template <typename Visit>
void SpilledFlow::walkRecords(Visit&& visit) const {
    using RecordReader = RunFile<SegmentRecord>::Reader;
    RecordReader forward(*sides_[0].recordFile, sides_[0].records);
    RecordReader reverse(*sides_[1].recordFile, sides_[1].records);
    std::array<std::size_t, 2> places{};
    inCaptureOrder(forward, reverse, 0, [&](std::size_t side, const SegmentRecord& record) {
        visit(side, places[side]++, record);
    });
}

void SpilledFlow::placeConnections() {
    ConnectionStarts starts;
    // Per direction, the extents of its connections, each written when the next begins: a flow may begin
    // millions (a SYN flood from one port), so they are kept on disk. Then the connection being followed,
    // and the last segment's position and sequence number.
    std::array<RunFile<std::int64_t>, 2> extentFiles;
    std::array<RunWriter<std::int64_t>, 2> extents{RunWriter<std::int64_t>(extentFiles[0]),
                                                   RunWriter<std::int64_t>(extentFiles[1])};
    std::array<Extent, 2> current{};
    std::array<std::int64_t, 2> last{};
    std::array<std::uint32_t, 2> lastSequence{};
    walkRecords([&](std::size_t side, std::size_t place, const SegmentRecord& segment) {
        oneByteSegment_ = oneByteSegment_ || (place != 0 && segment.segmentLength == 1);
        std::int64_t position = 0;
        // Every segment goes past the connection starts, which follow both directions' SYNs.
        const bool begins = starts.next(side, place, segment);
        if (place == 0 || begins) {
            if (place != 0) {
                extents[side].add(current[side].lowest);
                extents[side].add(current[side].end);
            }
            // Each connection counts from its own first sequence number.
            position = segment.sequenceNumber;
            current[side] = {position, position + segment.segmentLength};
        } else {
            position = last[side] + static_cast<std::int32_t>(segment.sequenceNumber - lastSequence[side]);
            current[side].lowest = std::min(current[side].lowest, position);
            current[side].end = std::max(current[side].end, position + std::int64_t{segment.segmentLength});
        }
        last[side] = position;
        lastSequence[side] = segment.sequenceNumber;
    });
    // Each connection is placed so that its lowest position is the end of all the earlier ones.
    shifts_ = std::make_unique<RunFile<std::int64_t>>();
    for (std::size_t side = 0; side < 2; ++side) {
        if (sides_[side].packets != 0) {
            extents[side].add(current[side].lowest);
            extents[side].add(current[side].end);
        }
        const RunFile<std::int64_t>::Run run = extents[side].finish();
        RunWriter<std::int64_t> shifts(*shifts_);
        std::int64_t earlierEnd = 0;
        bool first = true;
        for (RunFile<std::int64_t>::Reader reader(extentFiles[side], run); !reader.done();) {
            const std::int64_t lowest = reader.front();
            reader.pop();
            const std::int64_t end = reader.front();
            reader.pop();
            const std::int64_t shift = first ? 0 : earlierEnd - lowest;
            earlierEnd = first ? end : std::max(earlierEnd, end + shift);
            first = false;
            shifts.add(shift);
        }
        shiftRuns_[side] = shifts.finish();
    }
}

void SpilledFlow::writeByCapture() {
    ConnectionStarts starts;
    KeepAlivesAndProbes keepAlives;
    // Each direction's shifts, one per connection, in order.
    std::array<RunFile<std::int64_t>::Reader, 2> shifts{
        RunFile<std::int64_t>::Reader(*shifts_, shiftRuns_[0]),
        RunFile<std::int64_t>::Reader(*shifts_, shiftRuns_[1])};
    std::array<std::int64_t, 2> last{};
    std::array<std::uint32_t, 2> lastSequence{};
    std::array<RunWriter<SpilledSegment>, 2> blocks{RunWriter<SpilledSegment>(*sides_[0].arranged),
                                                    RunWriter<SpilledSegment>(*sides_[1].arranged)};
    walkRecords([&](std::size_t side, std::size_t place, const SegmentRecord& segment) {
        SpilledSegment spilled{segment, static_cast<std::uint32_t>(place), 0, 0};
        const bool begins = starts.next(side, place, segment);
        std::int64_t unshifted = segment.sequenceNumber;
        if (begins) {
            shifts[side].pop();
            spilled.marks |= SpilledSegment::kStartsConnection;
        } else if (place != 0) {
            unshifted = last[side] + static_cast<std::int32_t>(segment.sequenceNumber - lastSequence[side]);
        }
        last[side] = unshifted;
        lastSequence[side] = segment.sequenceNumber;
        spilled.position = unshifted + shifts[side].front();
        // Without a one-byte segment after a direction's first there is nothing to find.
        if (oneByteSegment_ && keepAlives.next(side, segment, spilled.position, begins)) {
            spilled.marks |= SpilledSegment::kKeepAliveOrProbe;
        }
        blocks[side].add(spilled);
    });
    for (std::size_t side = 0; side < 2; ++side) {
        sides_[side].byCapture = blocks[side].finish();
    }
}

void SpilledFlow::sortBySequence(std::size_t side) {
    Side& own = sides_[side];
    ExternalSort<SpilledSegment, BySequence> sorted(sortBytes_ / sizeof(SpilledSegment));
    walk(own, own.byCapture, [&](const PlacedSegment& placed) {
        sorted.add({placed.segment, placed.place, placed.position, 0});
    });
    RunWriter<SpilledSegment> block(*own.arranged);
    sorted.finish([&block](const SpilledSegment& segment) { block.add(segment); });
    own.bySequence = block.finish();
}

void SpilledFlow::findRepeats(std::size_t side) {
    Side& own = sides_[side];
    ExternalSort<SpilledSegment, ByCopy> byCopy(sortBytes_ / sizeof(SpilledSegment));
    walk(own, own.byCapture, [&](const PlacedSegment& placed) {
        byCopy.add({placed.segment, placed.place, placed.position, 0});
    });
    // Repeats are few: their sorts take a small share of the memory.
    ExternalSort<SpilledSegment, ById> rows(sortBytes_ / 8 / sizeof(SpilledSegment));
    ExternalSort<std::uint32_t, std::less<>> places(sortBytes_ / 8 / sizeof(std::uint32_t));
    bool any = false;
    SpilledSegment previous;
    byCopy.finish([&](const SpilledSegment& segment) {
        if (any && previous.record.ipIdentification() == segment.record.ipIdentification() &&
            RepeatFinder::copies(previous.record, segment.record)) {
            rows.add(segment);
            places.add(segment.place);
        }
        previous = segment;
        any = true;
    });
    RunWriter<SpilledSegment> block(*own.arranged);
    rows.finish([&block](const SpilledSegment& segment) { block.add(segment); });
    own.repeats = block.finish();
    RunWriter<std::uint32_t> placeBlock(*repeatPlaces_);
    places.finish([&placeBlock](std::uint32_t place) { placeBlock.add(place); });
    own.repeatPlaces = placeBlock.finish();
}

}  // namespace korvo::measurement
