#pragma once
// The base of every reported figure: its name, whether it collects detail rows, and its state as a value, a
// FigurePartial (counts, sums, the span of capture times it has seen, detail rows, samples). Concrete
// measurements fill the partial and make the value text from it.

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "figure/DetailText.h"
#include "figure/FigurePartial.h"

namespace korvo::measurement {

class Measurement {
public:
    Measurement(std::string name, bool extended);
    Measurement(const Measurement&) = delete;
    Measurement& operator=(const Measurement&) = delete;
    virtual ~Measurement() = default;

    [[nodiscard]] const std::string& getName() const { return name; }
    [[nodiscard]] virtual std::string getValue() const = 0;
    [[nodiscard]] bool isExtended() const { return extended; }
    // The detail rows collected so far; empty whenever the measurement is not extended.
    [[nodiscard]] const DetailText& getDetails() const;
    // From now on, passes the detail rows to `sink` as they come, the rows collected so far first;
    // getDetails() then holds only the rows not yet passed. Nothing for a figure that is not extended.
    void streamDetailsTo(std::function<void(std::string_view)> sink);
    // Passes the rows not yet passed to the sink and lets go of it.
    void endDetailStream() {
        if (extended) {
            partial.rows.endStream();
        }
    }
    [[nodiscard]] const FigurePartial& getPartial() const { return partial; }
    // Adds the partial of what comes after everything this figure has seen (see FigurePartial::merge).
    void merge(const FigurePartial& later, std::uint64_t frameOffset = 0) {
        partial.merge(later, frameOffset);
    }

    // Latest minus earliest recorded time; zero when nothing or a single instant was recorded.
    [[nodiscard]] boost::posix_time::time_duration getCaptureDuration() const;
    // The earliest and latest recorded time; not-a-date-time when nothing was recorded.
    [[nodiscard]] boost::posix_time::ptime getEarliestCaptureTime() const { return partial.earliest; }
    [[nodiscard]] boost::posix_time::ptime getLatestCaptureTime() const { return partial.latest; }

protected:
    const std::string name;
    const bool extended;
    // Detail rows go to partial.rows, and only while `extended` is set.
    FigurePartial partial;
};

}  // namespace korvo::measurement
