#include "app/MappedGroups.h"

#include <stdexcept>

#include "app/StateCodec.h"
#include "app/Version.h"
#include "measurement/LoadTimeline.h"

namespace korvo::measurement {

MappedGroups::MappedGroups(const WorkFolder& folder) {
    const std::size_t groups = folder.groups();
    std::uint64_t offset = 0;
    std::uint64_t digest = WorkState::kDigestStart;
    for (std::size_t index = 0; index < groups; ++index) {
        Group group;
        group.part = folder.mapPart(index);
        group.state = WorkState::read(group.part + "/state");
        digest = group.state.digest(digest);
        WorkState& state = group.state;
        const std::vector<std::string> format = state.take(WorkFolder::kFormat);
        if (format.size() != 2 || format[0] != std::to_string(WorkFolder::kFormatVersion) ||
            format[1] != kVersion) {
            throw std::runtime_error(group.part +
                                     " was written by another version of wiretally; map its group again");
        }
        const std::vector<std::string> options = state.take("options");
        const std::string text = options.empty() ? "" : options[0];
        if (index == 0) {
            optionsText_ = text;
        } else if (text != optionsText_) {
            throw std::runtime_error(group.part + " was mapped with other analysis options than map-0 (" +
                                     text + " against " + optionsText_ +
                                     "); map every group with the same options");
        }
        const std::vector<std::string> number = state.take("group");
        if (number.size() != 1 || number[0] != std::to_string(index)) {
            throw std::runtime_error(group.part + " holds the state of another group");
        }
        group.frames = state.number(state.take("frames").at(0));
        const std::vector<std::string> damage = state.take("damage");
        group.damaged = !damage.empty() && damage[0] == "1";
        group.damage = damage.size() > 1 ? state.decode(damage[1]) : "";
        for (const std::string& linkType : state.take("linkTypes")) {
            group.linkTypes.push_back(static_cast<int>(state.number(linkType)));
        }
        group.frameOffset = offset;
        offset += group.frames;
        groups_.push_back(std::move(group));
    }
    fingerprint_ = std::to_string(digest);
    counted_ = groups_.size();
    damaged_ = groups_.size();
    for (std::size_t index = 0; index < groups_.size(); ++index) {
        if (groups_[index].damaged && groups_[index].frames == 0) {
            counted_ = 0;
            damaged_ = index;
            return;
        }
    }
    for (std::size_t index = 0; index < groups_.size(); ++index) {
        if (groups_[index].damaged) {
            counted_ = index + 1;
            damaged_ = index;
            return;
        }
    }
}

void MappedGroups::applyOptions(RunOptions& options) const {
    StateCodec::applyOptions(groups_.front().state, optionsText_, options);
}

TimeBins MappedGroups::load() const {
    TimeBins load(LoadTimeline::kCounters);
    for (std::size_t index = 0; index < counted_; ++index) {
        // A copy, so that the groups' states stay where they are.
        WorkState state = groups_[index].state;
        StateCodec::takeInputs(state);
        StateCodec::takeCoverage(state);
        while (!state.next("load")) {
            state.skip();
        }
        load.merge(StateCodec::takeBins(state, "load", LoadTimeline::kCounters));
    }
    return load;
}

}  // namespace korvo::measurement
