#include "measurement/CaptureDuration.h"

#include <utility>

#include "figure/TimeText.h"

namespace korvo::measurement {

CaptureDuration::CaptureDuration(std::string reportedName, EthernetSignal& ethernetSignal)
    : Measurement(std::move(reportedName), false), EnetPacketHandler(ethernetSignal) {}

std::string CaptureDuration::getValue() const {
    return TimeText::duration(getCaptureDuration());
}

}  // namespace korvo::measurement
