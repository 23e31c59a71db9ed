#include "measurement/TotalVolume.h"

namespace korvo::measurement {

TotalVolume::TotalVolume(EthernetSignal& ethernetSignal)
    : Measurement("TotalVolumeInB", false), EnetPacketHandler(ethernetSignal) {}

std::string TotalVolume::getValue() const {
    return std::to_string(byteCount);
}

}  // namespace korvo::measurement
