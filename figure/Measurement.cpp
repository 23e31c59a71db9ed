#include "figure/Measurement.h"

#include <utility>

namespace korvo::measurement {

Measurement::Measurement(std::string reportedName, bool extendedStatistics)
    : name(std::move(reportedName)), extended(extendedStatistics) {}

const DetailText& Measurement::getDetails() const {
    static const DetailText kNoDetails;
    return extended ? details : kNoDetails;
}

boost::posix_time::time_duration Measurement::getCaptureDuration() const {
    if (earliestCaptureTime == latestCaptureTime) {
        return boost::posix_time::time_duration(0, 0, 0);
    }
    return latestCaptureTime - earliestCaptureTime;
}

}  // namespace korvo::measurement
