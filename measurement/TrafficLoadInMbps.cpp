#include "measurement/TrafficLoadInMbps.h"

#include <utility>

#include <cmath>
#include <limits>
#include <sstream>

namespace korvo::measurement {

TrafficLoadInMbps::TrafficLoadInMbps(std::string reportedName, EthernetSignal& ethernetSignal)
    : Measurement(std::move(reportedName), false), EnetPacketHandler(ethernetSignal) {}

std::string TrafficLoadInMbps::getValue() const {
    const auto bits = static_cast<double>(partial.bytes) * 8.0;
    const auto micros = static_cast<double>(getCaptureDuration().total_microseconds());
    double load = bits / micros;
    // The processor's 0/0 carries a sign bit that the stream would print as "-nan".
    if (std::isnan(load)) {
        load = std::numeric_limits<double>::quiet_NaN();
    }
    std::ostringstream text;
    text << load;
    return text.str();
}

}  // namespace korvo::measurement
