#include "robustness/DocumentedEnd.h"

#include <array>
#include <sstream>
#include <string_view>

namespace korvo::robustness {

namespace {

// The summary's lines with every value cut off: the layout that every successful run writes.
constexpr std::array<std::string_view, 21> kSummaryLayout = {"Volume Measurements:",
                                                             "TotalVolumeInB",
                                                             "TrafficLoadInMbps",
                                                             "CaptureDuration",
                                                             "TotalVolumeTCPInB",
                                                             "NumberTCPFlows",
                                                             "",
                                                             "Flow Measurements:",
                                                             "NumberTCPFlowDuplicates",
                                                             "NumberTCPGapFlows",
                                                             "NumberTCPOutOfOrderFlows",
                                                             "NumberSimplexFlows",
                                                             "",
                                                             "Packet Measurements:",
                                                             "NumberJumboIPPackets",
                                                             "NumberIPFragments",
                                                             "NumberGapsInTCPFlows",
                                                             "NumberOutOfOrderTCPPackets",
                                                             "NumberTCPDuplicates",
                                                             "NumberOfTruncatedPackets",
                                                             ""};
// The summary and the truncated frames' list always; ten more detail files with extended statistics.
constexpr std::size_t kPlainFiles = 2;
constexpr std::size_t kExtendedFiles = 12;

constexpr std::string_view kOpenFailure = "PacketLoader::openInputFile() Error opening filename ";
constexpr std::string_view kReadFailure = "PacketLoader::openInputFile() Error reading packet: ";
constexpr std::string_view kReadingStopped = "Reading stopped at ";

::testing::AssertionResult summaryFollowsTheLayout(const std::string& summary) {
    std::istringstream lines(summary);
    std::size_t index = 0;
    for (std::string line; std::getline(lines, line); ++index) {
        if (index == kSummaryLayout.size()) {
            return ::testing::AssertionFailure() << "summary has more than 21 lines:\n" << summary;
        }
        const std::string_view expected = kSummaryLayout[index];
        const bool heading = expected.empty() || expected.ends_with(':');
        const std::string label = heading ? line : line.substr(0, line.find(": "));
        const bool hasValue = heading || line.size() > label.size() + 2;
        if (label != expected || !hasValue) {
            return ::testing::AssertionFailure() << "summary line " << index + 1 << " is \"" << line << "\"";
        }
    }
    if (index != kSummaryLayout.size() || !summary.ends_with("\n\n")) {
        return ::testing::AssertionFailure() << "summary ends early:\n" << summary;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult loaderFailure(const RunOutcome& outcome, std::string_view message,
                                         std::string_view reported) {
    if (outcome.succeeded) {
        return ::testing::AssertionFailure() << "the run succeeded where the loader should have failed";
    }
    if (!outcome.failure.starts_with(reported)) {
        return ::testing::AssertionFailure() << "the run failed with \"" << outcome.failure << "\"";
    }
    const std::string& printed = outcome.standardOutput;
    if (!printed.starts_with(message) || !printed.ends_with('\n') || printed.size() <= message.size() + 1) {
        return ::testing::AssertionFailure() << "the loader printed \"" << printed << "\"";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult resultFilesWhole(const e2e::ResultFiles& results, bool extended) {
    const std::size_t files = results.fileNames().size();
    if (files != (extended ? kExtendedFiles : kPlainFiles)) {
        return ::testing::AssertionFailure() << "the run wrote " << files << " files";
    }
    return summaryFollowsTheLayout(results.summary().value_or(""));
}

}  // namespace

::testing::AssertionResult DocumentedEnd::check(const RunOutcome& outcome, const e2e::ResultFiles& results,
                                                bool extended) {
    if (outcome.succeeded) {
        return success(outcome, results, extended);
    }
    if (outcome.standardOutput.starts_with(kOpenFailure)) {
        return openFailure(outcome, results);
    }
    return readFailure(outcome, results, extended);
}

::testing::AssertionResult DocumentedEnd::success(const RunOutcome& outcome, const e2e::ResultFiles& results,
                                                  bool extended) {
    if (!outcome.succeeded) {
        return ::testing::AssertionFailure() << "the run failed with \"" << outcome.failure
                                             << "\" after printing \"" << outcome.standardOutput << "\"";
    }
    if (!outcome.standardOutput.empty()) {
        return ::testing::AssertionFailure()
               << "a successful run printed \"" << outcome.standardOutput << "\"";
    }
    return resultFilesWhole(results, extended);
}

::testing::AssertionResult DocumentedEnd::openFailure(const RunOutcome& outcome,
                                                      const e2e::ResultFiles& results) {
    const ::testing::AssertionResult failure = loaderFailure(outcome, kOpenFailure, "Unknown exception");
    if (failure && !results.fileNames().empty()) {
        return ::testing::AssertionFailure() << "a capture that cannot be opened left result files";
    }
    return failure;
}

::testing::AssertionResult DocumentedEnd::readFailure(const RunOutcome& outcome,
                                                      const e2e::ResultFiles& results, bool extended) {
    const ::testing::AssertionResult failure = loaderFailure(outcome, kReadFailure, kReadingStopped);
    return failure ? resultFilesWhole(results, extended) : failure;
}

}  // namespace korvo::robustness
