#include "measurement/TotalVolume.h"

#include <utility>

namespace korvo::measurement {

TotalVolume::TotalVolume(std::string reportedName, EthernetSignal& ethernetSignal)
    : Measurement(std::move(reportedName), false), EnetPacketHandler(ethernetSignal) {}

std::string TotalVolume::getValue() const {
    return std::to_string(partial.bytes);
}

}  // namespace korvo::measurement
