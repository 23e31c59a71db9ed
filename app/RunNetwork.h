#pragma once
// The receiving network of a run, built from its options: the dispatchers, the flow table with its judge,
// a receiver for every figure of the table that the options turn on, and, where asked, the flow table's
// rows and the report's load and highlights. The whole run, and each of the steps a run split over
// machines takes, builds one and uses the part it needs.

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "app/LinkTypeNotes.h"
#include "app/ProgressLine.h"
#include "capture/IPPacketDispatcher.h"
#include "capture/PacketLoader.h"
#include "capture/TCPPacketDispatcher.h"
#include "flow/FlowVolumeTally.h"
#include "flow/SequenceEvaluatorMultimap.h"
#include "measurement/Figures.h"
#include "measurement/FlowHighlights.h"
#include "measurement/FlowTableRows.h"
#include "measurement/LoadTimeline.h"
#include "output/ReportContent.h"
#include "output/RunOptions.h"

namespace korvo::measurement {

class RunNetwork {
public:
    struct BuiltFigure {
        const Figure& figure;
        std::unique_ptr<Measurement> measurement;
    };

    // With `loadBins`, the load over time of a whole capture whose flows are handed out to this network
    // apart from its frames, the report's highlights are built whatever the options say, on those
    // intervals, and the network keeps no load of its own.
    explicit RunNetwork(const RunOptions& options, const TimeBins* loadBins = nullptr);
    RunNetwork(const RunNetwork&) = delete;
    RunNetwork& operator=(const RunNetwork&) = delete;

    // Reads every frame of `loader` through the network, showing how far it got on `progress`; on more than
    // one thread the frames are analysed on a thread of their own while the next ones are read. The link
    // types that are not decoded are noted: those known before the reading, and those of interfaces a
    // pcapng describes later, after it.
    void read(PacketLoader& loader, LinkTypeNotes& linkTypeNotes, ProgressLine& progress);

    // In the table's order, those the options turn on.
    [[nodiscard]] const std::vector<BuiltFigure>& figures() const { return figures_; }
    // The figure built from the table row `name`.
    [[nodiscard]] Measurement& figure(std::string_view name) const;

    [[nodiscard]] SequenceEvaluatorMultimap& flowTable() { return flowTable_; }
    [[nodiscard]] FrameCoverage coverage() const { return ipDispatcher_.coverage(); }
    // Present with the flow table file.
    [[nodiscard]] std::optional<FlowVolumeTally>& flowVolumes() { return flowVolumes_; }
    [[nodiscard]] std::optional<FlowTableRows>& flowRows() { return flowRows_; }
    // Present with the report and without given intervals.
    [[nodiscard]] std::optional<LoadTimeline>& load() { return load_; }
    // Present with the report or given intervals.
    [[nodiscard]] std::optional<FlowHighlights>& highlights() { return highlights_; }

private:
    const RunOptions& options_;
    // The dispatchers first: every receiver of a frame that needs to know what the frame carried sees it
    // after them.
    EthernetSignal frames_;
    // On more than one thread the frames are read into a signal of their own and analysed as copies.
    EthernetSignal readFrames_;
    IPPacketDispatcher ipDispatcher_;
    SequenceEvaluatorMultimap flowTable_;
    TCPPacketDispatcher tcpDispatcher_;
    std::vector<BuiltFigure> figures_;
    // Built only when asked for, so that a run without the flow table file does no work for it.
    std::optional<FlowVolumeTally> flowVolumes_;
    std::optional<FlowTableRows> flowRows_;
    // The report's charts and flow lists, likewise.
    std::optional<LoadTimeline> load_;
    std::optional<FlowHighlights> highlights_;
};

}  // namespace korvo::measurement
