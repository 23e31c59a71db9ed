#pragma once
// The base of every reported figure: its name, whether it collects detail rows, the span of capture times it
// has seen and its detail text. Concrete measurements supply the value text.

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <string>

#include "figure/DetailText.h"

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

    // Widens the span of recorded capture times to include `t`.
    void recordCaptureTime(boost::posix_time::ptime t) {
        if (earliestCaptureTime.is_not_a_date_time() || t < earliestCaptureTime) {
            earliestCaptureTime = t;
        }
        if (latestCaptureTime.is_not_a_date_time() || t > latestCaptureTime) {
            latestCaptureTime = t;
        }
    }
    // Latest minus earliest recorded time; zero when nothing or a single instant was recorded.
    [[nodiscard]] boost::posix_time::time_duration getCaptureDuration() const;
    // The earliest and latest recorded time; not-a-date-time when nothing was recorded.
    [[nodiscard]] boost::posix_time::ptime getEarliestCaptureTime() const { return earliestCaptureTime; }
    [[nodiscard]] boost::posix_time::ptime getLatestCaptureTime() const { return latestCaptureTime; }

protected:
    boost::posix_time::ptime earliestCaptureTime;
    boost::posix_time::ptime latestCaptureTime;
    const std::string name;
    const bool extended;
    // Detail rows: comma-separated lines, each ended by a newline. Appended only while `extended` is set.
    DetailText details;
};

}  // namespace korvo::measurement
