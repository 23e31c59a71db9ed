#include "app/ReduceStep.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "app/InterruptWatcher.h"
#include "app/MappedGroups.h"
#include "app/ResultFile.h"
#include "app/RunNetwork.h"
#include "app/StateCodec.h"
#include "app/Version.h"
#include "app/WorkFolder.h"
#include "flow/ShardRule.h"

namespace korvo::measurement {

namespace {

// Judges the flows of one family of the shard and adds what they gave to `state` and to files of
// `temporary` named for `family`.
void judgeFamily(MappedGroups& groups, const RunOptions& options, const TimeBins& load, std::size_t shard,
                 bool ipv6, const std::string& temporary, WorkState& state) {
    const std::string family = ipv6 ? "v6" : "v4";
    RunNetwork network(options, &load);
    for (std::size_t index = 0; index < groups.counted(); ++index) {
        const MappedGroups::Group& group = groups.all()[index];
        network.flowTable().readShard(group.part, shard, ipv6, group.frameOffset);
        if (network.flowVolumes()) {
            network.flowVolumes()->readShard(shard, group.part + "/volumes-" + std::to_string(shard));
        }
    }
    std::optional<ResultFile> flowsFile;
    if (network.flowRows()) {
        flowsFile.emplace(temporary + "/flows-" + family);
        network.flowRows()->streamTo([&flowsFile](std::string_view piece) { flowsFile->write(piece); });
    }
    network.flowTable().evaluateFlows();
    if (flowsFile) {
        network.flowRows()->flush();
        flowsFile->finish();
        const InterruptWatcher::StopHold hold;
        flowsFile->place(hold);
    }
    for (const RunNetwork::BuiltFigure& built : network.figures()) {
        const std::string name(built.figure.name);
        StateCodec::add(state, family + ":" + name, built.measurement->getPartial());
        StateCodec::writeRows(temporary + "/rows-" + family + "-" + name,
                              built.measurement->getPartial().rows);
    }
    StateCodec::add(state, network.highlights()->state());
}

}  // namespace

void ReduceStep::run(const std::string& work, std::size_t shard, const FlowTableSettings& resources) {
    if (shard >= ShardRule::kShards) {
        throw std::invalid_argument("--shard " + std::to_string(shard) + " does not exist: shards are 0 to " +
                                    std::to_string(ShardRule::kShards - 1));
    }
    const WorkFolder folder(work);
    const InterruptWatcher interrupts;
    MappedGroups groups(folder);
    RunOptions options;
    groups.applyOptions(options);
    options.resources = resources;
    const TimeBins load = groups.load();

    const std::string part = folder.reducePart(shard);
    folder.writePart(part, [&](const std::string& temporary) {
        WorkState state;
        state.add(WorkFolder::kFormat, {std::to_string(WorkFolder::kFormatVersion), kVersion});
        state.add("options", {groups.optionsText()});
        state.add("shard", {std::to_string(shard)});
        state.add("groups", {std::to_string(groups.size()), groups.fingerprint()});
        judgeFamily(groups, options, load, shard, false, temporary, state);
        judgeFamily(groups, options, load, shard, true, temporary, state);
        state.write(temporary + "/state");
    });
}

}  // namespace korvo::measurement
