#pragma once
// How the values a step of a split run hands on are written as fields of a WorkState, and read back: the
// options that must agree between steps, figure partials, frame coverage, what was read of each capture,
// intervals over time and the flows the report lists. Detail rows go to files of their own.

#include <string>
#include <vector>

#include "app/WorkState.h"
#include "capture/FrameCoverage.h"
#include "capture/PacketLoader.h"
#include "figure/DetailText.h"
#include "figure/FigurePartial.h"
#include "measurement/FlowHighlights.h"
#include "measurement/TimeBins.h"
#include "output/RunOptions.h"

namespace korvo::measurement {

class StateCodec {
public:
    // The analysis options as one value; the run options take them back.
    [[nodiscard]] static std::string options(const RunOptions& options);
    static void applyOptions(const WorkState& state, const std::string& value, RunOptions& options);

    // A partial's fields but its rows.
    static void add(WorkState& state, const std::string& key, const FigurePartial& partial);
    static void take(WorkState& state, const std::string& key, FigurePartial& partial);
    static void add(WorkState& state, const FrameCoverage& coverage);
    static FrameCoverage takeCoverage(WorkState& state);
    static void add(WorkState& state, const std::vector<PacketLoader::InputRead>& inputs);
    static std::vector<PacketLoader::InputRead> takeInputs(WorkState& state);
    static void add(WorkState& state, const std::string& key, const TimeBins& bins);
    static TimeBins takeBins(WorkState& state, const std::string& key, std::size_t counters);
    static void add(WorkState& state, const FlowHighlights::State& highlights);
    static FlowHighlights::State takeHighlights(WorkState& state);

    // Detail rows to a file and back, appended after the rows `text` holds.
    static void writeRows(const std::string& path, const DetailText& text);
    static void readRows(const std::string& path, DetailText& text);
};

}  // namespace korvo::measurement
