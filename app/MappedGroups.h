#pragma once
// What the map steps of a split run left, read back for the steps after them: each group's state, checked
// to come from this version with the same analysis options, the frames before each group (its frame
// numbers' offset), and which groups count: all up to the first whose reading stopped at a damaged record,
// as one run stops there. One run reads the first record of every capture before it takes a frame, so a
// group that stopped before its first frame stops the whole run before any frame.

#include <cstdint>
#include <string>
#include <vector>

#include "app/WorkFolder.h"
#include "app/WorkState.h"
#include "measurement/TimeBins.h"
#include "output/RunOptions.h"

namespace korvo::measurement {

class MappedGroups {
public:
    struct Group {
        std::string part;
        // Positioned after the fields every state begins with: inputs, coverage, figures, load.
        WorkState state;
        std::uint64_t frames = 0;
        std::uint64_t frameOffset = 0;
        bool damaged = false;
        std::string damage;
        std::vector<int> linkTypes;
    };

    explicit MappedGroups(const WorkFolder& folder);

    // The analysis options the groups were mapped with, over `options`.
    void applyOptions(RunOptions& options) const;
    [[nodiscard]] const std::string& optionsText() const { return optionsText_; }
    // A digest of every group's state: a reduce step records it, so that finish can tell a shard reduced
    // from other maps than those the work folder holds now.
    [[nodiscard]] std::string fingerprint() const { return fingerprint_; }
    // Every group mapped, in order.
    [[nodiscard]] std::vector<Group>& all() { return groups_; }
    [[nodiscard]] std::size_t size() const { return groups_.size(); }
    // How many of them count.
    [[nodiscard]] std::size_t counted() const { return counted_; }
    // The group whose damaged record stopped the reading; all().size() when none did.
    [[nodiscard]] std::size_t damaged() const { return damaged_; }
    // The load over time of the groups that count.
    [[nodiscard]] TimeBins load() const;

private:
    std::vector<Group> groups_;
    std::string optionsText_;
    std::string fingerprint_;
    std::size_t counted_ = 0;
    std::size_t damaged_ = 0;
};

}  // namespace korvo::measurement
