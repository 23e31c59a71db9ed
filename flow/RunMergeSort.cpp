#include "flow/RunMergeSort.h"

#include <algorithm>

namespace korvo::measurement {

namespace {

// Beyond one run in this many keys, merging runs costs more than sorting afresh.
constexpr std::size_t kKeysPerRunWorthMerging = 16;

}  // namespace

void RunMergeSort::sort(std::vector<std::uint64_t>& keys, std::vector<std::size_t>& runStarts) {
    runStarts.clear();
    runStarts.push_back(0);
    for (std::size_t index = 1; index < keys.size(); ++index) {
        if (keys[index] < keys[index - 1]) {
            runStarts.push_back(index);
        }
    }
    if (runStarts.size() == 1) {
        return;
    }
    if (runStarts.size() * kKeysPerRunWorthMerging > keys.size()) {
        std::sort(keys.begin(), keys.end());
        return;
    }
    runStarts.push_back(keys.size());
    // Bottom-up: merge neighbouring runs until one is left; every level is one pass over the keys.
    while (runStarts.size() > 2) {
        std::size_t kept = 0;
        std::size_t run = 0;
        for (; run + 2 < runStarts.size(); run += 2) {
            const auto first = keys.begin() + static_cast<std::ptrdiff_t>(runStarts[run]);
            std::inplace_merge(first, keys.begin() + static_cast<std::ptrdiff_t>(runStarts[run + 1]),
                               keys.begin() + static_cast<std::ptrdiff_t>(runStarts[run + 2]));
            runStarts[kept++] = runStarts[run];
        }
        // With an odd number of runs the last one has no partner at this level.
        if (run + 2 == runStarts.size()) {
            runStarts[kept++] = runStarts[run];
        }
        runStarts[kept++] = keys.size();
        runStarts.resize(kept);
    }
}

}  // namespace korvo::measurement
