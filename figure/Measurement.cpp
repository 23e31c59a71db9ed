#include "figure/Measurement.h"

#include <utility>

namespace korvo::measurement {

Measurement::Measurement(std::string reportedName, bool extendedStatistics)
    : name(std::move(reportedName)), extended(extendedStatistics) {}

const DetailText& Measurement::getDetails() const {
    static const DetailText kNoDetails;
    return extended ? partial.rows : kNoDetails;
}

void Measurement::streamDetailsTo(std::function<void(std::string_view)> sink) {
    if (extended) {
        partial.rows.streamTo(std::move(sink));
    }
}

boost::posix_time::time_duration Measurement::getCaptureDuration() const {
    if (partial.earliest == partial.latest) {
        return boost::posix_time::time_duration(0, 0, 0);
    }
    return partial.latest - partial.earliest;
}

}  // namespace korvo::measurement
