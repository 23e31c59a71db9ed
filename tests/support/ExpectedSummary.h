#pragma once
// The summary file that a run should write, put together from the value texts of its figures in the order
// and groups in which the tool reports them, so that a test states only the figures it works out.

#include <cstdint>
#include <string>

namespace korvo::e2e {

struct ExpectedSummary {
    std::uint64_t totalVolumeInB = 0;
    std::string trafficLoadInMbps = "nan";
    std::string captureDuration = "00:00:00";
    std::uint64_t totalVolumeTCPInB = 0;
    std::uint64_t numberTCPFlows = 0;
    std::uint64_t numberTCPFlowDuplicates = 0;
    std::uint64_t numberTCPGapFlows = 0;
    std::uint64_t numberTCPOutOfOrderFlows = 0;
    std::uint64_t numberSimplexFlows = 0;
    std::uint64_t numberJumboIPPackets = 0;
    std::uint64_t numberIPFragments = 0;
    std::uint64_t numberGapsInTCPFlows = 0;
    std::uint64_t numberOutOfOrderTCPPackets = 0;
    std::uint64_t numberTCPDuplicates = 0;
    std::uint64_t numberOfTruncatedPackets = 0;

    // The whole file: three headed groups, each followed by an empty line.
    [[nodiscard]] std::string text() const;
};

}  // namespace korvo::e2e
