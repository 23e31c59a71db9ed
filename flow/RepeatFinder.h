#pragma once
// Finds repeated segments in one direction: copies made by the network or the capture. A segment is a
// repeat when the last earlier-captured segment of that direction with the same IP identification, sequence
// number, occupied length and acknowledgement number was captured at most 10 ms before (or after) it; the
// identification alone is not enough, since senders may write 0 in every one and every sender's
// identifications wrap at 65,536, and a segment like an earlier one sent later is a resend.

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <vector>

#include "figure/DetailText.h"
#include "flow/SegmentList.h"
#include "flow/SequenceEvaluator.h"

namespace korvo::measurement {

class RepeatFinder {
public:
    explicit RepeatFinder(bool writeDetails) : writeDetails_(writeDetails) {}

    // The number of repeats of direction `side` of `flow`; with details on, one segment row each, ascending
    // identification key and, under one key, in capture order. Where `times` is given, the capture time of
    // each is appended to it.
    std::uint64_t findRepeats(const SequenceEvaluator& flow, std::size_t side, DetailText& out,
                              std::vector<std::int64_t>* times = nullptr) const;
    // The same for a direction in memory, in identification order.
    std::uint64_t findRepeats(const SegmentList& byId, DetailText& out,
                              std::vector<std::int64_t>* times = nullptr) const;
    // Sets the place in capture order of every repeat in `repeats`, which holds one place per segment.
    static void markRepeats(const SegmentList& byId, std::vector<bool>& repeats);
    // The fields a copy has alike with what it copies, beside the identification.
    [[nodiscard]] static auto copyKey(const SegmentRecord& segment) {
        return std::tie(segment.sequenceNumber, segment.segmentLength, segment.acknowledgementNumber);
    }
    // Whether `later` copies `earlier`, which carries the same identification and is the last segment
    // before it with the same sequence number, occupied length and acknowledgement number.
    [[nodiscard]] static bool copies(const SegmentRecord& earlier, const SegmentRecord& later);

private:
    // Counts a repeat found, with its row and time where asked.
    void note(const SegmentRecord& repeat, std::uint64_t& repeats, DetailText& out,
              std::vector<std::int64_t>* times) const;

    bool writeDetails_;
};

}  // namespace korvo::measurement
