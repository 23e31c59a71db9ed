// The base class's capture span and detail rule, and the load text on the worked examples.

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <vector>

#include "figure/DetailRow.h"
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
    void writeRow() { DetailRow(details).text("row").end(); }
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

}  // namespace
}  // namespace korvo::measurement
