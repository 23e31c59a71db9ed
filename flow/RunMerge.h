#pragma once
// Merges sorted runs of a temporary file into one stream, at most kFanIn runs at a time: where there are
// more, groups of them are first merged into longer runs in a new file, so that the blocks read at once stay
// few however many runs there are.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <queue>
#include <span>
#include <vector>

#include "flow/RunFile.h"
#include "flow/RunWriter.h"

namespace korvo::measurement {

template <typename T, typename Less>
class RunMerge {
public:
    static constexpr std::size_t kFanIn = 32;
    using Run = typename RunFile<T>::Run;

    // Calls `visit(value)` for every value of `runs` of `file`, in `less` order. `file` and `runs` may be
    // replaced by longer runs in a new file on the way.
    template <typename Visit>
    static void merge(std::unique_ptr<RunFile<T>>& file, std::vector<Run>& runs, Less less, Visit&& visit) {
        while (runs.size() > kFanIn) {
            auto merged = std::make_unique<RunFile<T>>();
            std::vector<Run> longer;
            for (std::size_t first = 0; first < runs.size(); first += kFanIn) {
                RunWriter<T> writer(*merged);
                mergeGroup(*file,
                           std::span<const Run>(runs).subspan(first, std::min(kFanIn, runs.size() - first)),
                           less, [&writer](const T& value) { writer.add(value); });
                longer.push_back(writer.finish());
            }
            file = std::move(merged);
            runs = std::move(longer);
        }
        mergeGroup(*file, runs, less, visit);
    }

private:
    template <typename Visit>
    static void mergeGroup(const RunFile<T>& file, std::span<const Run> runs, Less less, Visit&& visit) {
        std::vector<typename RunFile<T>::Reader> readers;
        readers.reserve(runs.size());
        for (const Run& run : runs) {
            readers.emplace_back(file, run);
        }
        // The reader whose front comes first on top.
        const auto later = [&](std::size_t left, std::size_t right) {
            return less(readers[right].front(), readers[left].front());
        };
        std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> heads(later);
        for (std::size_t source = 0; source < readers.size(); ++source) {
            if (!readers[source].done()) {
                heads.push(source);
            }
        }
        while (!heads.empty()) {
            const std::size_t source = heads.top();
            heads.pop();
            visit(readers[source].front());
            readers[source].pop();
            if (!readers[source].done()) {
                heads.push(source);
            }
        }
    }
};

}  // namespace korvo::measurement
