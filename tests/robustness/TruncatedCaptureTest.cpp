// A capture cut short at every byte: before its file header is complete the loader cannot open it, at a
// record boundary it is a shorter but valid capture, anywhere else the loader reports a read failure and the
// results cover the whole records before the cut. Never a crash, and never a read past the bytes that are
// there.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "robustness/DocumentedEnd.h"
#include "robustness/InProcessRun.h"
#include "robustness/SampleTraffic.h"

namespace korvo::robustness {
namespace {

constexpr std::size_t kFileHeaderLength = 24;

TEST(TruncatedCaptureTest, EveryLengthEndsAsDocumentedWithTheFiguresOfTheWholeRecords) {
    const InProcessRun run;
    const std::vector<SampleRecord> records = SampleTraffic::records();
    SampleTraffic::writePcap(run.capturePath(), records);
    const std::vector<std::uint8_t> whole = InProcessRun::readBytes(run.capturePath());
    const std::vector<std::size_t> boundaries = SampleTraffic::recordBoundaries(records);
    ASSERT_EQ(boundaries.back(), whole.size());

    for (std::size_t length = 0; length <= whole.size() && !::testing::Test::HasFailure(); ++length) {
        run.writeCapture(std::span(whole).first(length));
        const auto boundary = std::find(boundaries.begin(), boundaries.end(), length);
        for (const bool extended : {false, true}) {
            SCOPED_TRACE("cut at " + std::to_string(length) + " bytes" + (extended ? ", extended" : ""));
            const RunOutcome outcome = run.analyse(extended);
            if (length < kFileHeaderLength) {
                EXPECT_TRUE(DocumentedEnd::openFailure(outcome, run.results()));
                continue;
            }
            // The boundaries start with the end of the file header, before any record.
            const auto complete = static_cast<std::size_t>(
                std::upper_bound(boundaries.begin(), boundaries.end(), length) - boundaries.begin() - 1);
            if (boundary == boundaries.end()) {
                ASSERT_TRUE(DocumentedEnd::readFailure(outcome, run.results(), extended));
                EXPECT_EQ(outcome.failure,
                          complete == 0
                              ? "Reading stopped at the first record, which is damaged: the results "
                                "cover no frames"
                              : "Reading stopped at a damaged record: the results cover frames 1 to " +
                                    std::to_string(complete));
            } else {
                ASSERT_TRUE(DocumentedEnd::success(outcome, run.results(), extended));
            }
            std::uint64_t volume = 0;
            std::uint64_t truncated = 0;
            for (std::size_t i = 0; i < complete; ++i) {
                volume += records[i].wireLength;
                truncated += records[i].captured.size() != records[i].wireLength ? 1U : 0U;
            }
            EXPECT_EQ(run.results().summaryValue("TotalVolumeInB"), std::to_string(volume));
            EXPECT_EQ(run.results().summaryValue("NumberOfTruncatedPackets"), std::to_string(truncated));
        }
    }
}

// The same records in the newer block format, which the capture library also reads: every cut ends in one
// of the documented ways.
TEST(TruncatedCaptureTest, EveryLengthOfABlockFormatCaptureEndsAsDocumented) {
    const InProcessRun run;
    const std::vector<std::uint8_t> whole = SampleTraffic::pcapng(SampleTraffic::records());
    std::size_t successes = 0;
    for (std::size_t length = 0; length <= whole.size() && !::testing::Test::HasFailure(); ++length) {
        SCOPED_TRACE("cut at " + std::to_string(length) + " bytes");
        run.writeCapture(std::span(whole).first(length));
        const RunOutcome outcome = run.analyse(length % 2 == 0);
        EXPECT_TRUE(DocumentedEnd::check(outcome, run.results(), length % 2 == 0));
        successes += outcome.succeeded ? 1 : 0;
    }
    // At least the whole file and the cuts after each block read as captures.
    EXPECT_GE(successes, SampleTraffic::records().size());
}

}  // namespace
}  // namespace korvo::robustness
