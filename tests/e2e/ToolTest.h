#pragma once
// Base of the end-to-end tests: a fresh folder to run the tool in, the names used there for the capture and
// the results, and the fixed texts that many tests expect.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/ResultFiles.h"
#include "support/TestCapture.h"
#include "support/ToolRun.h"
#include "tools/FrameBuilder.h"

namespace korvo::e2e {

// 2008-03-05 14:07:09 UTC as seconds since 1970 (calendar.timegm of that date).
inline constexpr std::uint32_t kMarch2008 = 1204726029;
// 2023-12-31 23:59:59 UTC as seconds since 1970; one second later is 2024-01-01 00:00:00.
inline constexpr std::uint32_t kNewYearsEve2023 = 1704067199;

// An IPv4 address a.b.c.d in host order, as the frame builder takes it.
constexpr std::uint32_t address(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    return a << 24 | b << 16 | c << 8 | d;
}

// The names of the eleven detail files that an extended run writes.
inline const std::vector<std::string> kDetailFigures = {
    "NumberOfTruncatedPackets", "NumberTCPFlows",       "NumberJumboIPPackets",
    "NumberIPFragments",        "NumberGapsInTCPFlows", "NumberOutOfOrderTCPPackets",
    "NumberTCPFlowDuplicates",  "NumberTCPGapFlows",    "NumberTCPOutOfOrderFlows",
    "NumberTCPDuplicates",      "NumberSimplexFlows"};

class ToolTest : public ::testing::Test {
protected:
    static constexpr const char* kCapture = "in.pcap";
    static constexpr const char* kPrefix = "out";

    [[nodiscard]] TestCapture newCapture() const { return TestCapture(tool.path(kCapture)); }

    // The tool on the test's capture, with the test's prefix.
    [[nodiscard]] RunResult analyse(bool extended = false) const {
        std::vector<std::string> arguments = {"-i", kCapture, "-o", kPrefix};
        if (extended) {
            arguments.emplace_back("-e");
        }
        return tool.run(arguments);
    }

    // A run that ended normally and printed nothing.
    static void expectQuietSuccess(const RunResult& result) { expectSuccess(result, ""); }

    // A run that ended normally and printed only these notes on standard error.
    static void expectSuccess(const RunResult& result, const std::string& standardError) {
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.standardOutput, "");
        EXPECT_EQ(result.standardError, standardError);
    }

    ToolRun tool{WIRETALLY_BINARY};
    ResultFiles results{tool.folder(), kPrefix};
};

}  // namespace korvo::e2e
