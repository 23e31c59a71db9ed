#include "app/FinishStep.h"

#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <vector>

#include "app/InterruptWatcher.h"
#include "app/LinkTypeNotes.h"
#include "app/MappedGroups.h"
#include "app/ResultFile.h"
#include "app/ResultWriter.h"
#include "app/RunFailure.h"
#include "app/RunNetwork.h"
#include "app/StateCodec.h"
#include "app/Version.h"
#include "app/WorkFolder.h"
#include "flow/ShardRule.h"
#include "output/RunNotes.h"

namespace korvo::measurement {

namespace {

// The state of every shard's reduce step, checked and positioned after its header.
std::vector<WorkState> reducedShards(const WorkFolder& folder, const MappedGroups& groups) {
    std::vector<WorkState> shards;
    for (std::size_t shard = 0; shard < ShardRule::kShards; ++shard) {
        const std::string part = folder.reducePart(shard);
        std::ifstream probe(part + "/state");
        if (!probe) {
            throw std::runtime_error("The work folder lacks " + part + ": shard " + std::to_string(shard) +
                                     " has not been reduced");
        }
        WorkState state = WorkState::read(part + "/state");
        const std::vector<std::string> format = state.take(WorkFolder::kFormat);
        if (format.size() != 2 || format[0] != std::to_string(WorkFolder::kFormatVersion) ||
            format[1] != kVersion) {
            throw std::runtime_error(part + " was written by another version of wiretally; reduce it again");
        }
        const std::vector<std::string> options = state.take("options");
        if (options.empty() || options[0] != groups.optionsText()) {
            throw std::runtime_error(part +
                                     " was reduced from groups mapped with other options; reduce it again");
        }
        state.take("shard");
        const std::vector<std::string> mapped = state.take("groups");
        if (mapped.size() != 2 || mapped[0] != std::to_string(groups.size()) ||
            mapped[1] != groups.fingerprint()) {
            throw std::runtime_error(part +
                                     " was reduced from other groups than the work folder holds now; reduce "
                                     "it again");
        }
        shards.push_back(std::move(state));
    }
    return shards;
}

// Appends the whole of the file `path` to `out`.
void copyInto(const std::string& path, ResultFile& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("Cannot read " + path);
    }
    std::vector<char> buffer(std::size_t{1} << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        out.write(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
    }
}

}  // namespace

void FinishStep::run(RunOptions options, const std::string& work) {
    const WorkFolder folder(work);
    const InterruptWatcher interrupts;
    MappedGroups groups(folder);
    groups.applyOptions(options);
    ResultFile::checkCreatable(options.prefix + ResultWriter::kSummarySuffix);
    std::vector<WorkState> shards = reducedShards(folder, groups);
    const TimeBins load = groups.load();
    RunNetwork network(options, &load);

    ReportContent content;
    content.options = options;
    LinkTypeNotes linkTypeNotes(options.decoding);
    FrameCoverage coverage;
    bool overlap = false;
    boost::posix_time::ptime latest;
    for (std::size_t index = 0; index < groups.all().size(); ++index) {
        MappedGroups::Group& group = groups.all()[index];
        linkTypeNotes.note(group.linkTypes);
        std::vector<PacketLoader::InputRead> inputs = StateCodec::takeInputs(group.state);
        const FrameCoverage groupCoverage = StateCodec::takeCoverage(group.state);
        if (index == groups.damaged()) {
            content.damage = group.damage;
        }
        if (index >= groups.counted()) {
            // After a damaged record nothing more is read, as in one run; the damaged group's inputs say
            // where it lies.
            for (PacketLoader::InputRead& input : inputs) {
                if (index != groups.damaged()) {
                    input = {input.name, input.linkTypes, 0, 0, true};
                }
            }
            content.inputs.insert(content.inputs.end(), inputs.begin(), inputs.end());
            continue;
        }
        content.inputs.insert(content.inputs.end(), inputs.begin(), inputs.end());
        coverage += groupCoverage;
        content.framesRead += group.frames;
        for (const RunNetwork::BuiltFigure& built : network.figures()) {
            const std::string name(built.figure.name);
            FigurePartial partial;
            StateCodec::take(group.state, "figure:" + name, partial);
            StateCodec::readRows(group.part + "/rows-" + name, partial.rows);
            built.measurement->merge(partial, group.frameOffset);
            if (name == "CaptureDuration" && !partial.earliest.is_not_a_date_time()) {
                overlap = overlap || (!latest.is_not_a_date_time() && partial.earliest < latest);
                latest = latest.is_not_a_date_time() ? partial.latest : std::max(latest, partial.latest);
            }
        }
    }

    std::optional<ResultFile> flowsFile;
    if (network.flowRows()) {
        flowsFile.emplace(options.prefix + ResultWriter::kFlowTableSuffix);
        flowsFile->write(network.flowRows()->header());
    }
    // The IPv4 flows of every shard, then the IPv6 flows, as one run hands them out.
    for (const std::string family : {"v4", "v6"}) {
        for (std::size_t shard = 0; shard < shards.size(); ++shard) {
            const std::string part = folder.reducePart(shard);
            for (const RunNetwork::BuiltFigure& built : network.figures()) {
                const std::string name(built.figure.name);
                FigurePartial partial;
                StateCodec::take(shards[shard], family + ":" + name, partial);
                StateCodec::readRows(part + "/rows-" + family + "-" + name, partial.rows);
                built.measurement->merge(partial);
            }
            network.highlights()->merge(StateCodec::takeHighlights(shards[shard]));
            if (flowsFile) {
                copyInto(part + "/flows-" + family, *flowsFile);
            }
        }
    }
    if (flowsFile) {
        flowsFile->finish();
    }

    content.coverage = {coverage, {}};
    content.coverage.note = RunNotes::coverage(options.decoding, content.coverage);
    const Measurement& captureDuration = network.figure("CaptureDuration");
    content.first = captureDuration.getEarliestCaptureTime();
    content.last = captureDuration.getLatestCaptureTime();
    content.duration = captureDuration.getCaptureDuration();
    if (options.outputs.report) {
        content.load = &load;
        content.highlights = &*network.highlights();
    }
    ResultWriter::write(network.figures(), content, flowsFile ? &*flowsFile : nullptr,
                        ResultWriter::streamDetails(network.figures(), options.prefix));
    if (!content.coverage.note.empty()) {
        std::cerr << content.coverage.note << std::endl;
    }
    if (overlap) {
        std::cerr
            << "The groups overlap in time: their frames are numbered group by group, not in time order "
               "across groups as one run over all the captures numbers them"
            << std::endl;
    }
    if (!content.damage.empty()) {
        throw RunFailure(RunNotes::stoppedAtDamage(content.framesRead));
    }
}

}  // namespace korvo::measurement
