#include "flow/RepeatFinder.h"

#include <algorithm>
#include <numeric>
#include <tuple>
#include <vector>

#include "flow/SegmentRow.h"

namespace korvo::measurement {

namespace {

// Up to this many segments under one identification are compared pairwise; more (a sender that writes 0 in
// every identification) are sorted instead.
constexpr std::size_t kPairwiseLimit = 16;

// A copy comes at once: a segment sent again later than this after the last one like it is a resend.
constexpr std::int64_t kMostCopyDelayMicros = 10000;

// Calls `onRepeat` with the rank in `byId` of every repeat among the segments of ranks [begin, end), which
// share one identification, in capture order.
template <typename OnRepeat>
void visitRepeatsUnderOneKey(const SegmentList& byId, std::size_t begin, std::size_t end, OnRepeat onRepeat) {
    const std::size_t count = end - begin;
    std::vector<bool> isCopy;
    if (count > kPairwiseLimit) {
        // Sorted by what a copy repeats, then capture order: every entry equal to the one before is a copy.
        std::vector<std::size_t> order(count);
        std::iota(order.begin(), order.end(), begin);
        std::sort(order.begin(), order.end(), [&byId](std::size_t left, std::size_t right) {
            return std::tuple(RepeatFinder::copyKey(byId[left]), left) <
                   std::tuple(RepeatFinder::copyKey(byId[right]), right);
        });
        isCopy.assign(count, false);
        for (std::size_t rank = 1; rank < count; ++rank) {
            isCopy[order[rank] - begin] = RepeatFinder::copies(byId[order[rank - 1]], byId[order[rank]]);
        }
    }
    for (std::size_t later = begin + 1; later < end; ++later) {
        bool copy = false;
        if (isCopy.empty()) {
            // The last earlier segment like this one decides.
            for (std::size_t earlier = later; earlier-- > begin;) {
                if (RepeatFinder::copyKey(byId[earlier]) == RepeatFinder::copyKey(byId[later])) {
                    copy = RepeatFinder::copies(byId[earlier], byId[later]);
                    break;
                }
            }
        } else {
            copy = isCopy[later - begin];
        }
        if (copy) {
            onRepeat(later);
        }
    }
}

// Calls `onRepeat` with the rank in `byId` of every repeat, ascending identification and, under one, in
// capture order.
template <typename OnRepeat>
void visitRepeats(const SegmentList& byId, OnRepeat onRepeat) {
    // The first segment under an identification is never a repeat.
    if (byId.size() < 2) {
        return;
    }
    for (std::size_t begin = 0; begin < byId.size();) {
        const std::uint16_t key = byId[begin].ipIdentification();
        std::size_t end = begin + 1;
        while (end < byId.size() && byId[end].ipIdentification() == key) {
            ++end;
        }
        if (end - begin > 1) {
            visitRepeatsUnderOneKey(byId, begin, end, onRepeat);
        }
        begin = end;
    }
}

}  // namespace

bool RepeatFinder::copies(const SegmentRecord& earlier, const SegmentRecord& later) {
    // Capture times may go backwards, so the delay counts either way.
    const std::int64_t delay = later.captureMicros() - earlier.captureMicros();
    return RepeatFinder::copyKey(earlier) == RepeatFinder::copyKey(later) && delay <= kMostCopyDelayMicros &&
           delay >= -kMostCopyDelayMicros;
}

std::uint64_t RepeatFinder::findRepeats(const SequenceEvaluator& flow, std::size_t side, DetailText& out,
                                        std::vector<std::int64_t>* times) const {
    if (flow.spilled() == nullptr) {
        return findRepeats(side == 0 ? flow.forward().byId : flow.reverse().byId, out, times);
    }
    std::uint64_t repeats = 0;
    flow.spilled()->walkRepeats(side,
                                [&](const SegmentRecord& segment) { note(segment, repeats, out, times); });
    return repeats;
}

std::uint64_t RepeatFinder::findRepeats(const SegmentList& byId, DetailText& out,
                                        std::vector<std::int64_t>* times) const {
    std::uint64_t repeats = 0;
    visitRepeats(byId, [&](std::size_t rank) { note(byId[rank], repeats, out, times); });
    return repeats;
}

void RepeatFinder::note(const SegmentRecord& repeat, std::uint64_t& repeats, DetailText& out,
                        std::vector<std::int64_t>* times) const {
    ++repeats;
    if (writeDetails_) {
        SegmentRow::append(repeat, out);
    }
    if (times != nullptr) {
        times->push_back(repeat.captureMicros());
    }
}

void RepeatFinder::markRepeats(const SegmentList& byId, std::vector<bool>& repeats) {
    visitRepeats(byId, [&](std::size_t rank) { repeats[byId.indexAt(rank)] = true; });
}

}  // namespace korvo::measurement
