#include "app/MapStep.h"

#include "app/InterruptWatcher.h"
#include "app/LinkTypeNotes.h"
#include "app/ProgressLine.h"
#include "app/RunNetwork.h"
#include "app/StateCodec.h"
#include "app/Version.h"
#include "app/WorkFolder.h"
#include "app/WorkState.h"
#include "capture/PacketLoader.h"
#include "flow/ShardRule.h"

namespace korvo::measurement {

void MapStep::run(const RunOptions& options, const std::string& work, std::size_t group) {
    const WorkFolder folder(work);
    // The load over time is kept whatever the last step will write.
    RunOptions mapping = options;
    mapping.outputs.report = true;
    RunNetwork network(mapping);
    const InterruptWatcher interrupts;
    PacketLoader loader(options.inputs, options.filter);
    LinkTypeNotes linkTypeNotes(options.decoding);
    ProgressLine progress = ProgressLine::onStandardError(loader.inputSize());
    network.read(loader, linkTypeNotes, progress);

    const std::string part = folder.mapPart(group);
    folder.writePart(part, [&](const std::string& temporary) {
        network.flowTable().writeShards(temporary);
        if (network.flowVolumes()) {
            for (std::size_t shard = 0; shard < ShardRule::kShards; ++shard) {
                network.flowVolumes()->writeShard(shard, temporary + "/volumes-" + std::to_string(shard));
            }
        }
        WorkState state;
        state.add(WorkFolder::kFormat, {std::to_string(WorkFolder::kFormatVersion), kVersion});
        state.add("options", {StateCodec::options(options)});
        state.add("group", {std::to_string(group)});
        state.add("frames", {std::to_string(loader.framesTaken())});
        state.add("damage", {loader.stoppedAtDamage() ? "1" : "0", WorkState::encode(loader.damage())});
        std::vector<std::string> linkTypes;
        for (const int linkType : linkTypeNotes.seen()) {
            linkTypes.push_back(std::to_string(linkType));
        }
        state.add("linkTypes", linkTypes);
        StateCodec::add(state, loader.inputsRead());
        StateCodec::add(state, network.coverage());
        for (const RunNetwork::BuiltFigure& built : network.figures()) {
            const std::string name(built.figure.name);
            StateCodec::add(state, "figure:" + name, built.measurement->getPartial());
            StateCodec::writeRows(temporary + "/rows-" + name, built.measurement->getPartial().rows);
        }
        StateCodec::add(state, "load", network.load()->bins());
        state.write(temporary + "/state");
        progress.clear();
    });
}

}  // namespace korvo::measurement
