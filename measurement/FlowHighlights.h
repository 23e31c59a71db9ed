#pragma once
// What the report shows of the flows: the anomalies over time (each anomalous segment counted in the
// interval of its capture time, on the intervals of the load), the flows with the most data bytes and those
// with the most anomalies, the distribution of the handshake times where they were timed, and where
// connections are followed, the flows per state and those with the most resets and the longest stalls. Each
// listed flow carries its sequence graph, drawn when it ranks. Memory is bounded: the intervals, four short
// lists with a graph of bounded size each, and fixed sets of buckets, never anything per flow. It reads the
// counts and the anomaly times off each flow's verdict, which the run asks the judge to time.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "flow/SequenceEvaluatorHandler.h"
#include "measurement/FlowLine.h"
#include "measurement/SequenceGraphDrawer.h"
#include "measurement/TimeBins.h"

namespace korvo::measurement {

class FlowHighlights : public SequenceEvaluatorHandler {
public:
    static constexpr std::size_t kTopFlows = 20;
    enum Counter : std::uint8_t { kGaps, kOutOfOrder, kDuplicates, kRetransmissions, kCounters };
    // The handshake buckets' lower bounds in microseconds, 10 µs to 10 s in steps of 1, 2 and 5; the first
    // bucket starts at 0 and the last has no upper bound.
    static constexpr std::array<std::int64_t, 20> kHandshakeBounds = {
        0,      10,     20,     50,      100,     200,     500,       1'000,     2'000,     5'000,
        10'000, 20'000, 50'000, 100'000, 200'000, 500'000, 1'000'000, 2'000'000, 5'000'000, 10'000'000};

    // What it has gathered, as a value.
    struct State {
        TimeBins anomalies{kCounters};
        // Whether `anomalies` has the load's intervals yet.
        bool aligned = false;
        std::vector<FlowLine> mostData;
        std::vector<FlowLine> mostAnomalies;
        std::array<std::uint64_t, kHandshakeBounds.size()> handshakes{};
        std::array<std::uint64_t, FlowConnection::kStates> states{};
        std::vector<FlowLine> mostResets;
        std::vector<FlowLine> longestStalls;
    };

    // `loadBins` are the load's intervals, final once the capture has been read.
    FlowHighlights(SequenceEvaluatorSource& source, const TimeBins& loadBins);

    void handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& verdict) override;
    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override {
        return std::make_unique<FlowHighlights>(source, loadBins_);
    }
    void absorb(SequenceEvaluatorHandler& later) override;
    [[nodiscard]] const State& state() const { return state_; }
    // Takes in what was gathered from flows handed out after all of this object's.
    void merge(const State& later);

    // Most first; ties go to the flow seen first.
    [[nodiscard]] const std::vector<FlowLine>& mostData() const { return state_.mostData; }
    // Only flows with at least one anomaly.
    [[nodiscard]] const std::vector<FlowLine>& mostAnomalies() const { return state_.mostAnomalies; }
    // Only flows with at least one reset.
    [[nodiscard]] const std::vector<FlowLine>& mostResets() const { return state_.mostResets; }
    // Only flows with at least one zero window, by the longest time a window stayed closed.
    [[nodiscard]] const std::vector<FlowLine>& longestStalls() const { return state_.longestStalls; }
    // Flows per connection state, by the state's number.
    [[nodiscard]] const std::array<std::uint64_t, FlowConnection::kStates>& states() const {
        return state_.states;
    }
    // The intervals of the load, `kCounters` counters each; empty when no flow was handed out.
    [[nodiscard]] const TimeBins& anomalyTimes() const { return state_.anomalies; }
    [[nodiscard]] const std::array<std::uint64_t, kHandshakeBounds.size()>& handshakes() const {
        return state_.handshakes;
    }

private:
    using Key = std::uint64_t (FlowLine::*)() const;

    // Bins the times of the flow's anomalies.
    void chartAnomalies(const FlowVerdict& verdict);
    void binTimes(const std::vector<std::int64_t>& times, Counter counter);
    // Whether a flow of this `key` and first packet ranks among the first kTopFlows of `list`.
    static bool ranks(const std::vector<FlowLine>& list, std::uint64_t key, std::uint64_t firstPacket,
                      Key keyOf);
    static void insert(std::vector<FlowLine>& list, const FlowLine& line, Key keyOf);

    // Gives the anomalies the load's intervals, once.
    void align();

    const TimeBins& loadBins_;
    State state_;
    SequenceGraphDrawer graphs_;
};

}  // namespace korvo::measurement
