#pragma once
// A figure's state as a value: what it counted and summed, the span of capture times it saw, its detail rows
// and the samples a median is taken from. The partials of one figure over consecutive parts of the work
// (shares of the flows judged on other threads, or parts of a capture) merge into the partial of the whole.

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "figure/DetailText.h"

namespace korvo::measurement {

struct FigurePartial {
    std::uint64_t count = 0;
    std::uint64_t bytes = 0;
    // Not-a-date-time until a time is recorded.
    boost::posix_time::ptime earliest;
    boost::posix_time::ptime latest;
    DetailText rows;
    std::vector<std::int64_t> samples;

    // Widens the span of capture times to include `time`.
    void recordTime(boost::posix_time::ptime time) {
        if (earliest.is_not_a_date_time() || time < earliest) {
            earliest = time;
        }
        if (latest.is_not_a_date_time() || time > latest) {
            latest = time;
        }
    }
    // Adds `later`, the partial of what comes after this one's part, its rows after these. A row of `later`
    // that begins with a frame number ("Packet Number,<n>") gets `frameOffset` added to it: the number of
    // frames before `later`'s part when it numbered its frames from 1.
    void merge(const FigurePartial& later, std::uint64_t frameOffset = 0);
    // The median of the samples, taken as microseconds, in milliseconds with three decimals: of an even
    // number of samples, the mean of the two middle ones. "nan" without samples.
    [[nodiscard]] std::string medianMillis() const;
};

}  // namespace korvo::measurement
