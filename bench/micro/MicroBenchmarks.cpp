// Micro-benchmarks of the hot paths: frame dispatch through the whole packet network, filing segments in
// the flow table, judging flows, and formatting detail rows.

#include <benchmark/benchmark.h>

#include <string>

#include "FrameFeed.h"
#include "capture/IPPacketDispatcher.h"
#include "capture/TCPPacketDispatcher.h"
#include "figure/DetailRow.h"
#include "flow/SequenceEvaluatorMultimap.h"
#include "measurement/CaptureDuration.h"
#include "measurement/NumberIPFragments.h"
#include "measurement/NumberJumboPackets.h"
#include "measurement/SequenceAnomalyMeasurement.h"
#include "measurement/TotalVolume.h"
#include "measurement/TotalVolumeTCPInB.h"
#include "measurement/TrafficLoadInMbps.h"

namespace korvo::bench {
namespace {

using namespace korvo::measurement;

// Every per-frame receiver of a run but the flow table.
void BM_FrameDispatch(benchmark::State& state) {
    const FrameFeed feed(4096, 64);
    EthernetSignal ethernet;
    IPPacketDispatcher ipDispatcher(ethernet);
    TCPPacketDispatcher tcpDispatcher(ipDispatcher);
    TotalVolume volume("TotalVolumeInB", ethernet);
    TrafficLoadInMbps load("TrafficLoadInMbps", ethernet);
    CaptureDuration duration("CaptureDuration", ethernet);
    TotalVolumeTCPInB tcpVolume("TotalVolumeTCPInB", tcpDispatcher);
    NumberJumboPackets jumbo("NumberJumboIPPackets", ipDispatcher, false);
    NumberIPFragments fragments("NumberIPFragments", ipDispatcher.fragmentSource, false);
    std::uint64_t number = 0;
    for (auto _ : state) {
        ethernet(feed.packet(number % feed.size(), number + 1));
        ++number;
    }
    benchmark::DoNotOptimize(volume.getValue());
    state.SetItemsProcessed(static_cast<std::int64_t>(number));
}
BENCHMARK(BM_FrameDispatch);

// Filing segments of few active flows (the realistic case) or of very many (a scan).
void BM_FlowFiling(benchmark::State& state) {
    const auto flows = static_cast<std::size_t>(state.range(0));
    const FrameFeed feed(std::max<std::size_t>(flows * 2, 65536), flows);
    std::uint64_t filed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto ethernet = std::make_unique<EthernetSignal>();
        auto ipDispatcher = std::make_unique<IPPacketDispatcher>(*ethernet);
        auto table = std::make_unique<SequenceEvaluatorMultimap>(*ipDispatcher);
        state.ResumeTiming();
        for (std::size_t index = 0; index < feed.size(); ++index) {
            (*ethernet)(feed.packet(index, index + 1));
        }
        filed += feed.size();
        state.PauseTiming();
        table.reset();
        ipDispatcher.reset();
        ethernet.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(filed));
}
BENCHMARK(BM_FlowFiling)->Arg(64)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// Handing out and judging the flows: arrangements, the judge and three packet-level anomaly measurements.
void BM_FlowEvaluation(benchmark::State& state) {
    const auto flows = static_cast<std::size_t>(state.range(0));
    const FrameFeed feed(std::max<std::size_t>(flows * 2, 65536), flows);
    std::uint64_t judged = 0;
    for (auto _ : state) {
        state.PauseTiming();
        EthernetSignal ethernet;
        IPPacketDispatcher ipDispatcher(ethernet);
        SequenceEvaluatorMultimap table(ipDispatcher);
        using Anomaly = FlowVerdict::Anomaly;
        SequenceAnomalyMeasurement gaps(table, "NumberGapsInTCPFlows", false, Anomaly::kGaps, "");
        SequenceAnomalyMeasurement outOfOrder(table, "NumberOutOfOrderTCPPackets", false,
                                              Anomaly::kOutOfOrder, "");
        SequenceAnomalyMeasurement repeats(table, "NumberTCPDuplicates", false, Anomaly::kRepeats, "");
        for (std::size_t index = 0; index < feed.size(); ++index) {
            ethernet(feed.packet(index, index + 1));
        }
        state.ResumeTiming();
        table.evaluateFlows();
        judged += feed.size();
        benchmark::DoNotOptimize(gaps.getValue());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(judged));
}
BENCHMARK(BM_FlowEvaluation)->Arg(64)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// One segment row: the most common detail row, with its capture-time text.
void BM_SegmentRow(benchmark::State& state) {
    const boost::posix_time::ptime time(boost::gregorian::date(2026, 3, 5),
                                        boost::posix_time::microseconds(123456789));
    DetailText rows;
    std::uint64_t written = 0;
    for (auto _ : state) {
        DetailRow(rows)
            .text("Packet Number,")
            .number(written + 1000000)
            .text(",Capture Time,")
            .time(time)
            .text(",Sequence Number,")
            .number(std::uint32_t{3000000000U})
            .end();
        ++written;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(written));
}
BENCHMARK(BM_SegmentRow);

}  // namespace
}  // namespace korvo::bench

BENCHMARK_MAIN();
