#include "app/RunNetwork.h"

#include <stdexcept>
#include <string>

#include "capture/ReadAhead.h"
#include "flow/FlowJudge.h"

namespace korvo::measurement {

namespace {

IPPacketDispatcher& decoding(IPPacketDispatcher& dispatcher, const Decoding& decoding) {
    if (decoding.ipv6) {
        dispatcher.analyseIpv6();
    }
    if (decoding.tunnels) {
        dispatcher.decodeTunnels();
    }
    return dispatcher;
}

}  // namespace

RunNetwork::RunNetwork(const RunOptions& options, const TimeBins* loadBins)
    : options_(options),
      ipDispatcher_(frames_),
      flowTable_(decoding(ipDispatcher_, options.decoding), options.resources,
                 JudgeSettings{.rows = options.extended,
                               .times = options.outputs.report || loadBins != nullptr,
                               .retransmissions = options.retransmissions,
                               .connections = options.connections}),
      tcpDispatcher_(ipDispatcher_) {
    FigureSources sources{frames_,
                          options.resources.threads > 1 ? readFrames_ : frames_,
                          ipDispatcher_.outermost(),
                          ipDispatcher_.fragmentSource,
                          tcpDispatcher_,
                          flowTable_};
    for (const Figure& figure : Figures::all()) {
        if (figure.on == FigureSwitch::kAlways ||
            (figure.on == FigureSwitch::kRetransmissions && options.retransmissions) ||
            (figure.on == FigureSwitch::kConnections && options.connections)) {
            figures_.push_back({figure, figure.make(figure, sources, options.extended)});
        }
    }
    if (options.flowTable) {
        flowTable_.countVolumesIn(flowVolumes_.emplace());
        flowRows_.emplace(flowTable_, *flowVolumes_, options.retransmissions, options.connections);
    }
    if (loadBins != nullptr) {
        highlights_.emplace(flowTable_, *loadBins);
    } else if (options.outputs.report) {
        highlights_.emplace(flowTable_, load_.emplace(frames_, tcpDispatcher_).bins());
    }
}

void RunNetwork::read(PacketLoader& loader, LinkTypeNotes& linkTypeNotes, ProgressLine& progress) {
    linkTypeNotes.note(loader.linkTypes());
    const auto everyFewFrames = [&] { progress.update(loader.bytesConsumed()); };
    if (options_.resources.threads > 1) {
        ReadAhead readAhead(readFrames_, frames_, options_.decoding);
        loader.loadPackets(readFrames_, everyFewFrames);
        readAhead.finish();
    } else {
        loader.loadPackets(frames_, everyFewFrames);
    }
    progress.finishReading(loader.bytesConsumed());
    linkTypeNotes.note(loader.linkTypes());
}

Measurement& RunNetwork::figure(std::string_view name) const {
    for (const BuiltFigure& built : figures_) {
        if (built.figure.name == name) {
            return *built.measurement;
        }
    }
    throw std::logic_error("the run has no figure " + std::string(name));
}

}  // namespace korvo::measurement
