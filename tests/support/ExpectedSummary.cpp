#include "support/ExpectedSummary.h"

namespace korvo::e2e {

namespace {

std::string line(const std::string& name, const std::string& value) {
    return name + ": " + value + "\n";
}

std::string line(const std::string& name, std::uint64_t value) {
    return line(name, std::to_string(value));
}

}  // namespace

std::string ExpectedSummary::text() const {
    return "Volume Measurements:\n" + line("TotalVolumeInB", totalVolumeInB) +
           line("TrafficLoadInMbps", trafficLoadInMbps) + line("CaptureDuration", captureDuration) +
           line("TotalVolumeTCPInB", totalVolumeTCPInB) + line("NumberTCPFlows", numberTCPFlows) + "\n" +
           "Flow Measurements:\n" + line("NumberTCPFlowDuplicates", numberTCPFlowDuplicates) +
           line("NumberTCPGapFlows", numberTCPGapFlows) +
           line("NumberTCPOutOfOrderFlows", numberTCPOutOfOrderFlows) +
           line("NumberSimplexFlows", numberSimplexFlows) + "\n" + "Packet Measurements:\n" +
           line("NumberJumboIPPackets", numberJumboIPPackets) + line("NumberIPFragments", numberIPFragments) +
           line("NumberGapsInTCPFlows", numberGapsInTCPFlows) +
           line("NumberOutOfOrderTCPPackets", numberOutOfOrderTCPPackets) +
           line("NumberTCPDuplicates", numberTCPDuplicates) +
           line("NumberOfTruncatedPackets", numberOfTruncatedPackets) + "\n";
}

}  // namespace korvo::e2e
