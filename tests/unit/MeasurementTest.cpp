// The base class's capture span and detail rule, the merge of partials, the load text on the worked
// examples, and the even thinning of a flow's graph.

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "figure/DetailRow.h"
#include "figure/FigurePartial.h"
#include "measurement/EvenPick.h"
#include "measurement/TrafficLoadInMbps.h"

namespace korvo::measurement {
namespace {

using boost::posix_time::ptime;
using boost::posix_time::seconds;

const ptime kStart(boost::gregorian::date(2010, 6, 1));

class Probe : public Measurement {
public:
    explicit Probe(bool extendedStatistics) : Measurement("ProbeName", extendedStatistics) {}
    [[nodiscard]] std::string getValue() const override { return ""; }
    void writeRow() { DetailRow(partial.rows).text("row").end(); }
    void recordCaptureTime(ptime time) { partial.recordTime(time); }
};

TEST(Measurement, SpanWidensBothWays) {
    Probe probe(false);
    EXPECT_EQ(probe.getCaptureDuration(), seconds(0));
    probe.recordCaptureTime(kStart + seconds(5));
    EXPECT_EQ(probe.getCaptureDuration(), seconds(0));
    probe.recordCaptureTime(kStart + seconds(3));
    probe.recordCaptureTime(kStart + seconds(9));
    EXPECT_EQ(probe.getCaptureDuration(), seconds(6));
    EXPECT_EQ(probe.getName(), "ProbeName");
}

TEST(FigurePartial, MergeAddsUpWidensAndRenumbersTheLaterFrames) {
    FigurePartial earlier;
    earlier.count = 2;
    earlier.bytes = 100;
    earlier.recordTime(kStart + seconds(10));
    earlier.samples = {5};
    DetailRow(earlier.rows).text("Packet Number,1,Capture Time,a").end();
    FigurePartial later;
    later.count = 3;
    later.bytes = 7;
    later.recordTime(kStart + seconds(4));
    later.recordTime(kStart + seconds(12));
    later.samples = {1, 9};
    DetailRow(later.rows).text("Packet Number,2,Capture Time,b").end();
    DetailRow(later.rows).text("Packet Number,40").end();
    DetailRow(later.rows).text("Tuple,TCP 10.0.0.1:1 -> 10.0.0.2:2,Number of Gaps,7").end();

    earlier.merge(later, 18446744073709551000ULL);
    EXPECT_EQ(earlier.count, 5U);
    EXPECT_EQ(earlier.bytes, 107U);
    EXPECT_EQ(earlier.earliest, kStart + seconds(4));
    EXPECT_EQ(earlier.latest, kStart + seconds(12));
    EXPECT_EQ(earlier.samples, (std::vector<std::int64_t>{5, 1, 9}));
    // Only a leading frame number moves; a count elsewhere in a row stays.
    EXPECT_EQ(earlier.rows.str(),
              "Packet Number,1,Capture Time,a\n"
              "Packet Number,18446744073709551002,Capture Time,b\n"
              "Packet Number,18446744073709551040\n"
              "Tuple,TCP 10.0.0.1:1 -> 10.0.0.2:2,Number of Gaps,7\n");

    // Merging an empty partial changes nothing, its span included.
    const std::string before = earlier.rows.str();
    earlier.merge(FigurePartial{}, 5);
    EXPECT_EQ(earlier.earliest, kStart + seconds(4));
    EXPECT_EQ(earlier.rows.str(), before);
}

TEST(FigurePartial, RowsMovedToTheTemporaryFileAreRenumberedWhole) {
    // Enough rows that the later text is kept partly in its temporary file, whose pieces end anywhere.
    FigurePartial later;
    std::string expected;
    for (std::uint64_t frame = 1; frame <= 200000; ++frame) {
        DetailRow(later.rows)
            .text("Packet Number,")
            .number(frame)
            .text(",Capture Time,2008-Mar-05 14:07:09")
            .end();
        expected += "Packet Number," + std::to_string(frame + 1000) + ",Capture Time,2008-Mar-05 14:07:09\n";
    }
    ASSERT_LT(later.rows.heldBytes(), expected.size());
    FigurePartial whole;
    whole.merge(later, 1000);
    EXPECT_EQ(whole.rows.str(), expected);
}

TEST(Measurement, DetailsOnlyWhenExtended) {
    Probe quiet(false);
    quiet.writeRow();
    EXPECT_TRUE(quiet.getDetails().empty());
    Probe loud(true);
    loud.writeRow();
    EXPECT_EQ(loud.getDetails().str(), "row\n");
}

// Feeds frames of the given wire lengths at the given seconds after kStart.
std::string load(const std::vector<std::pair<std::uint32_t, long>>& frames) {
    EthernetSignal signal;
    TrafficLoadInMbps measurement("TrafficLoadInMbps", signal);
    for (const auto& [length, at] : frames) {
        signal(EthernetPacket{nullptr, length, 0, 1, kStart + seconds(at)});
    }
    return measurement.getValue();
}

TEST(TrafficLoad, WorkedExamples) {
    EXPECT_EQ(load({{500000, 0}, {500000, 8}}), "1");
    EXPECT_EQ(load({{1000, 0}, {500, 3}}), "0.004");
    EXPECT_EQ(load({{123456789, 0}, {0, 60}}), "16.4609");
}

TEST(TrafficLoad, ZeroSpans) {
    EXPECT_EQ(load({}), "nan");
    EXPECT_EQ(load({{0, 4}}), "nan");
    EXPECT_EQ(load({{60, 4}, {60, 4}}), "inf");
}

TEST(TrafficLoad, BytesBeyondFourGibibytesStayExact) {
    // 2 frames of 4 GiB - 1 over 1 s: (2^33 - 2) * 8 bits / 10^6 us.
    EXPECT_EQ(load({{0xFFFFFFFFU, 0}, {0xFFFFFFFFU, 1}}), "68719.5");
}

// The items that an even pick keeps of `all`, numbered from 0.
std::vector<std::size_t> picked(std::size_t all, std::size_t most) {
    EvenPick pick(all, most);
    std::vector<std::size_t> kept;
    for (std::size_t item = 0; item < all; ++item) {
        if (pick.take()) {
            kept.push_back(item);
        }
    }
    return kept;
}

TEST(GraphThinning, KeepsTheFirstAndSpreadsTheRestEvenly) {
    const std::vector<std::size_t> points = picked(3000, 600);
    ASSERT_EQ(points.size(), 600U);
    for (std::size_t kept = 0; kept < points.size(); ++kept) {
        EXPECT_EQ(points[kept], kept * 5) << kept;
    }
    EXPECT_EQ(picked(3, 3), (std::vector<std::size_t>{0, 1, 2}));
    // 7 into 3: places 0, 2 and 4, never one beyond the end.
    EXPECT_EQ(picked(7, 3), (std::vector<std::size_t>{0, 2, 4}));
}

}  // namespace
}  // namespace korvo::measurement
