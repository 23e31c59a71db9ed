// Captures damaged by flipped bits, in the file header, in record headers and in the frames' own headers:
// every variant ends in one of the documented ways. The variants come from a fixed seed, so a failure
// names a variant that can be made again.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "robustness/DocumentedEnd.h"
#include "robustness/InProcessRun.h"
#include "robustness/SampleTraffic.h"

namespace korvo::robustness {
namespace {

constexpr std::size_t kFileHeaderLength = 24;
constexpr std::size_t kRecordHeaderLength = 16;
// Where the Ethernet, VLAN, IP and TCP headers lie in a frame.
constexpr std::size_t kFrameHeadersLength = 58;
constexpr std::uint32_t kSeed = 20240601;

struct Region {
    std::size_t start;
    std::size_t length;
};

class BitFlipTest : public ::testing::Test {
protected:
    // Flips one to three bits inside `region` of `bytes`. The engine's raw output is used rather than a
    // distribution, whose results differ between standard libraries.
    std::vector<std::uint8_t> flipped(std::vector<std::uint8_t> bytes, Region region) {
        const std::size_t flips = 1 + random() % 3;
        for (std::size_t flip = 0; flip < flips; ++flip) {
            const std::size_t at = region.start + random() % region.length;
            bytes[at] ^= static_cast<std::uint8_t>(1U << (random() % 8));
        }
        return bytes;
    }

    // Runs each variant with and without extended statistics and counts how they ended.
    void expectDocumentedEnds(const std::vector<std::uint8_t>& variant, const std::string& name) {
        run.writeCapture(variant);
        for (const bool extended : {false, true}) {
            SCOPED_TRACE(name + (extended ? ", extended" : ""));
            const RunOutcome outcome = run.analyse(extended);
            EXPECT_TRUE(DocumentedEnd::check(outcome, run.results(), extended));
            ++(outcome.succeeded ? successes : failures);
        }
    }

    std::mt19937 random{kSeed};
    InProcessRun run;
    int successes = 0;
    int failures = 0;
};

TEST_F(BitFlipTest, ClassicCaptureWithFlippedHeaderBits) {
    const std::vector<SampleRecord> records = SampleTraffic::records();
    SampleTraffic::writePcap(run.capturePath(), records);
    const std::vector<std::uint8_t> whole = InProcessRun::readBytes(run.capturePath());
    const std::vector<std::size_t> boundaries = SampleTraffic::recordBoundaries(records);

    constexpr int kVariants = 300;
    for (int variant = 0; variant < kVariants && !HasFailure(); ++variant) {
        const std::size_t record = random() % records.size();
        const std::size_t frameStart = boundaries[record] + kRecordHeaderLength;
        const std::size_t frameLength = boundaries[record + 1] - frameStart;
        const Region regions[] = {{0, kFileHeaderLength},
                                  {boundaries[record], kRecordHeaderLength},
                                  {frameStart, std::min(frameLength, kFrameHeadersLength)}};
        expectDocumentedEnds(flipped(whole, regions[variant % 3]), "variant " + std::to_string(variant));
    }
    // Both ends occur, so the variants reach past the file header's checks.
    EXPECT_GT(successes, kVariants / 3);
    EXPECT_GT(failures, 0);
}

TEST_F(BitFlipTest, BlockFormatCaptureWithFlippedBits) {
    const std::vector<std::uint8_t> whole = SampleTraffic::pcapng(SampleTraffic::records());

    constexpr int kVariants = 100;
    for (int variant = 0; variant < kVariants && !HasFailure(); ++variant) {
        expectDocumentedEnds(flipped(whole, {0, whole.size()}), "variant " + std::to_string(variant));
    }
    EXPECT_GT(successes, 0);
    EXPECT_GT(failures, 0);
}

}  // namespace
}  // namespace korvo::robustness
