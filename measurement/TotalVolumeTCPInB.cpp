#include "measurement/TotalVolumeTCPInB.h"

namespace korvo::measurement {

TotalVolumeTCPInB::TotalVolumeTCPInB(TCPPacketSource& tcpSource)
    : Measurement("TotalVolumeTCPInB", false), TCPPacketHandler(tcpSource.signal) {}

std::string TotalVolumeTCPInB::getValue() const {
    return std::to_string(byteCount);
}

}  // namespace korvo::measurement
