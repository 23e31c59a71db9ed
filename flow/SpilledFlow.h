#pragma once
// One flow too large to arrange in memory, kept in temporary files instead: each direction's segments in
// capture order with their unwrapped positions and marks, the same in sequence order, and (over IPv4) the
// direction's repeats. It is built from the records of both directions in capture order, in passes over
// those files that sort with a bounded amount of memory, and walked as a flow in memory is walked: the
// arrangements and the marks are the same.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "flow/CaptureSpan.h"
#include "flow/PlacedSegment.h"
#include "flow/RunFile.h"
#include "flow/RunWriter.h"
#include "flow/SegmentRecord.h"
#include "flow/SpilledSegment.h"

namespace korvo::measurement {

class SpilledFlow {
public:
    // Sorts with at most about `sortBytes` of values in memory at once.
    explicit SpilledFlow(std::size_t sortBytes) : sortBytes_(sortBytes) {}

    // Forgets the previous flow and starts a new one; an IPv6 flow has no identifications, so no repeats.
    void begin(bool ipv6);
    // Adds the next record of direction `side` (0 forward, 1 reverse) in its capture order.
    void add(std::size_t side, const SegmentRecord& record);
    // Arranges the flow once every record is added.
    void arrange();

    [[nodiscard]] std::size_t sortBytes() const { return sortBytes_; }
    [[nodiscard]] std::uint64_t packets(std::size_t side) const { return sides_[side].packets; }
    [[nodiscard]] std::uint64_t dataBytes(std::size_t side) const { return sides_[side].dataBytes; }
    [[nodiscard]] std::uint64_t firstPacket() const { return firstPacket_; }
    [[nodiscard]] CaptureSpan captureSpan() const { return span_; }

    // The walks of SequenceEvaluator, read from the files.
    template <typename Visit>
    void walkCapture(std::size_t first, Visit&& visit) const {
        Reader firstReader(*sides_[first].arranged, sides_[first].byCapture);
        Reader secondReader(*sides_[1 - first].arranged, sides_[1 - first].byCapture);
        inCaptureOrder(firstReader, secondReader, first,
                       [&visit](std::size_t side, const SpilledSegment& segment) {
                           return visitAndGoOn(visit, side, segment.placed());
                       });
    }
    template <typename Visit>
    void walkDirection(std::size_t side, Visit&& visit) const {
        walk(sides_[side], sides_[side].byCapture, visit);
    }
    template <typename Visit>
    void walkSequence(std::size_t side, Visit&& visit) const {
        walk(sides_[side], sides_[side].bySequence, visit);
    }
    // Calls `visit(record)` for every repeat of a direction, ascending identification key and, under one
    // key, in capture order.
    template <typename Visit>
    void walkRepeats(std::size_t side, Visit&& visit) const {
        walk(sides_[side], sides_[side].repeats,
             [&visit](const PlacedSegment& placed) { visit(placed.segment); });
    }

    // The places of a direction's repeats, asked in ascending order.
    class RepeatPlaces {
    public:
        RepeatPlaces(const RunFile<std::uint32_t>& file, RunFile<std::uint32_t>::Run run)
            : reader_(file, run) {}
        bool holds(std::uint32_t place) {
            while (!reader_.done() && reader_.front() < place) {
                reader_.pop();
            }
            return !reader_.done() && reader_.front() == place;
        }

    private:
        RunFile<std::uint32_t>::Reader reader_;
    };
    [[nodiscard]] RepeatPlaces repeatPlaces(std::size_t side) const {
        return {*repeatPlaces_, sides_[side].repeatPlaces};
    }

private:
    using Reader = RunFile<SpilledSegment>::Reader;
    using Run = RunFile<SpilledSegment>::Run;

    struct Side {
        std::uint64_t packets = 0;
        std::uint64_t dataBytes = 0;
        // The records as added, written a block at a time.
        std::unique_ptr<RunFile<SegmentRecord>> recordFile;
        std::optional<RunWriter<SegmentRecord>> adding;
        RunFile<SegmentRecord>::Run records{};
        // The segments in capture order, then in sequence order, then the repeats, each a run.
        std::unique_ptr<RunFile<SpilledSegment>> arranged;
        Run byCapture{};
        Run bySequence{};
        Run repeats{};
        RunFile<std::uint32_t>::Run repeatPlaces{};
    };
    // One connection's unwrapped extent before it is placed after the earlier ones.
    struct Extent {
        std::int64_t lowest = 0;
        std::int64_t end = 0;
    };

    static const SegmentRecord& recordOf(const SegmentRecord& record) { return record; }
    static const SegmentRecord& recordOf(const SpilledSegment& segment) { return segment.record; }
    // Calls `visit(side, value)` with the values of both readers in capture order, those of `first` read
    // by `firstReader`; as in CaptureWalk, a value of `first` goes first only where its packet number is
    // lower. A visitor that returns false ends the walk.
    template <typename AnyReader, typename Visit>
    static void inCaptureOrder(AnyReader& firstReader, AnyReader& secondReader, std::size_t first,
                               Visit&& visit) {
        while (!firstReader.done() || !secondReader.done()) {
            const bool takeFirst = secondReader.done() ||
                                   (!firstReader.done() && recordOf(firstReader.front()).packetNumber() <
                                                               recordOf(secondReader.front()).packetNumber());
            AnyReader& reader = takeFirst ? firstReader : secondReader;
            if (!visitAndGoOn(visit, takeFirst ? first : 1 - first, reader.front())) {
                return;
            }
            reader.pop();
        }
    }
    template <typename Visit>
    void walk(const Side& side, const Run& run, Visit&& visit) const {
        for (Reader reader(*side.arranged, run); !reader.done(); reader.pop()) {
            if (!visitAndGoOn(visit, reader.front().placed())) {
                return;
            }
        }
    }
    // Calls `visit(side, place, record)` for the records of both directions in capture order.
    template <typename Visit>
    void walkRecords(Visit&& visit) const;
    // Finds where each connection begins and how far its sequence space reaches, and from that the shift
    // of each connection's positions; and whether the flow may hold keep-alives or probes.
    void placeConnections();
    // Writes each direction's segments in capture order with their positions and marks.
    void writeByCapture();
    void sortBySequence(std::size_t side);
    void findRepeats(std::size_t side);

    std::size_t sortBytes_;
    bool ipv6_ = false;
    std::uint64_t firstPacket_ = 0;
    CaptureSpan span_;
    std::array<Side, 2> sides_;
    // Per direction a run: the shift of each connection's positions, the first's 0.
    std::unique_ptr<RunFile<std::int64_t>> shifts_;
    std::array<RunFile<std::int64_t>::Run, 2> shiftRuns_{};
    bool oneByteSegment_ = false;
    // Both directions' repeat places, a run each.
    std::unique_ptr<RunFile<std::uint32_t>> repeatPlaces_;
};

}  // namespace korvo::measurement
