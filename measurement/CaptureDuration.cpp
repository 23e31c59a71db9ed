#include "measurement/CaptureDuration.h"

#include "report/TimeText.h"

namespace korvo::measurement {

CaptureDuration::CaptureDuration(EthernetSignal& ethernetSignal)
    : Measurement("CaptureDuration", false), EnetPacketHandler(ethernetSignal) {}

std::string CaptureDuration::getValue() const {
    return TimeText::duration(getCaptureDuration());
}

}  // namespace korvo::measurement
