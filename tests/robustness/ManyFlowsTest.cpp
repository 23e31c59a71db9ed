// A capture of one million TCP flows of one segment each, the shape of a port scan: the tool's memory stays
// bounded, and the cost of a flow is printed for the record.

#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <string>

#include "robustness/PeakMemoryRun.h"
#include "support/ResultFiles.h"
#include "support/ToolRun.h"
#include "tools/FrameBuilder.h"
#include "tools/PcapWriter.h"

#if defined(__SANITIZE_ADDRESS__)
#define WIRETALLY_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WIRETALLY_ADDRESS_SANITIZER 1
#endif
#endif

namespace korvo::robustness {
namespace {

constexpr std::uint32_t kFlows = 1'000'000;
constexpr std::uint32_t kPortsPerAddress = 50'000;
constexpr std::uint64_t kMebibyte = std::uint64_t{1} << 20;
constexpr std::uint64_t kMemoryBound = 400 * kMebibyte;
constexpr std::uint32_t kMarch2008 = 1204726029;

// `flows` SYN segments, each from its own address and port pair to one server, 1 ms apart.
void writeScan(const std::filesystem::path& path, std::uint32_t flows) {
    tools::PcapWriter writer(path.string());
    for (std::uint32_t flow = 0; flow < flows; ++flow) {
        const auto frame = tools::FrameBuilder()
                               .ipv4(0x0A000000U + flow / kPortsPerAddress, 0xC0A80001U)
                               .tcp(static_cast<std::uint16_t>(1024 + flow % kPortsPerAddress), 80, flow,
                                    tools::FrameBuilder::kTcpSyn)
                               .build();
        writer.write(kMarch2008 + flow / 1000, flow % 1000 * 1000, frame);
    }
    writer.close();
}

TEST(ManyFlowsTest, MillionSingleSegmentFlowsRunInBoundedMemory) {
#ifdef WIRETALLY_ADDRESS_SANITIZER
    GTEST_SKIP() << "the address sanitizer's own bookkeeping would dominate the figure";
#endif
    const e2e::ToolRun scratch(WIRETALLY_BINARY);
    writeScan(scratch.path("one.pcap"), 1);
    writeScan(scratch.path("scan.pcap"), kFlows);

    const PeakMemory baseline =
        PeakMemoryRun::run(WIRETALLY_BINARY, {"-i", "one.pcap", "-o", "one"}, scratch.folder());
    const PeakMemory plain =
        PeakMemoryRun::run(WIRETALLY_BINARY, {"-i", "scan.pcap", "-o", "plain"}, scratch.folder());
    // With extended statistics two detail texts of one row per flow are held as well.
    const PeakMemory extended =
        PeakMemoryRun::run(WIRETALLY_BINARY, {"-i", "scan.pcap", "-o", "extended", "-e"}, scratch.folder());

    ASSERT_EQ(baseline.exitStatus, 0);
    ASSERT_EQ(plain.exitStatus, 0);
    ASSERT_EQ(extended.exitStatus, 0);
    for (const char* prefix : {"plain", "extended"}) {
        const e2e::ResultFiles results(scratch.folder(), prefix);
        EXPECT_EQ(results.summaryValue("NumberTCPFlows"), std::to_string(kFlows)) << prefix;
        EXPECT_EQ(results.summaryValue("NumberSimplexFlows"), std::to_string(kFlows)) << prefix;
    }
    EXPECT_LT(plain.peakBytes, kMemoryBound);
    EXPECT_LT(extended.peakBytes, kMemoryBound);

    const auto perFlow = [&](const PeakMemory& run) {
        return static_cast<double>(run.peakBytes - baseline.peakBytes) / kFlows;
    };
    std::cout << "Peak resident memory for " << kFlows << " flows: " << plain.peakBytes / kMebibyte
              << " MiB (" << perFlow(plain) << " bytes per flow), with extended statistics "
              << extended.peakBytes / kMebibyte << " MiB (" << perFlow(extended) << " bytes per flow); "
              << baseline.peakBytes / kMebibyte << " MiB for one flow\n";
    ::testing::Test::RecordProperty("bytes_per_flow", std::to_string(perFlow(plain)));
    ::testing::Test::RecordProperty("bytes_per_flow_extended", std::to_string(perFlow(extended)));
}

// Memory that runs out is reported as such, with the documented status, not as a crash or a library's
// exception name. The limit on address space leaves room for an ordinary run (tens of MiB) but not for a
// million flows.
TEST(ManyFlowsTest, ExhaustedMemoryIsReported) {
#ifdef WIRETALLY_ADDRESS_SANITIZER
    GTEST_SKIP() << "the address sanitizer reserves more address space than any useful limit";
#endif
    const e2e::ToolRun tool(WIRETALLY_BINARY);
    writeScan(tool.path("scan.pcap"), kFlows);

    const e2e::RunResult result = tool.runWrapped({"sh", "-c", R"(ulimit -v 40960; exec "$0" "$@")"},
                                                  {"--threads", "1", "-i", "scan.pcap", "-o", "out"});

    EXPECT_EQ(result.exitStatus, 254);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(
        result.standardError,
        "Out of memory: every TCP segment is kept (about 40 bytes each, 44 over IPv6) until the whole "
        "capture has been "
        "read, and this capture needs more memory than the system grants; a lower --max-memory moves them to "
        "temporary files sooner\n");
}

}  // namespace
}  // namespace korvo::robustness
