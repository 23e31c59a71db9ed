#include "measurement/TotalVolumeTCPInB.h"

#include <utility>

namespace korvo::measurement {

TotalVolumeTCPInB::TotalVolumeTCPInB(std::string reportedName, TCPPacketSource& tcpSource)
    : Measurement(std::move(reportedName), false), TCPPacketHandler(tcpSource.signal) {}

std::string TotalVolumeTCPInB::getValue() const {
    return std::to_string(partial.bytes);
}

}  // namespace korvo::measurement
