#pragma once
// Sorts more values than memory may hold: values are kept up to a given number, and each time that many are
// kept they are sorted and written to a temporary file as a run; at the end the runs are merged, at most
// kFanIn at a time, so that the blocks read at once stay few however many values came.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <queue>
#include <span>
#include <vector>

#include "flow/RunFile.h"

namespace korvo::measurement {

template <typename T, typename Less>
class ExternalSort {
public:
    static constexpr std::size_t kFanIn = 32;

    // Keeps at most `mostKept` values in memory (at least one).
    explicit ExternalSort(std::size_t mostKept, Less less = {})
        : mostKept_(std::max<std::size_t>(mostKept, 1)), less_(less) {}

    void add(const T& value) {
        if (kept_.capacity() == 0) {
            kept_.reserve(mostKept_);
        }
        kept_.push_back(value);
        if (kept_.size() == mostKept_) {
            writeRun();
        }
    }
    // Calls `visit(value)` for every value added, in order (values that compare equal in no particular
    // order); then forgets them all and lets go of their memory.
    template <typename Visit>
    void finish(Visit&& visit) {
        if (runs_.empty()) {
            std::sort(kept_.begin(), kept_.end(), less_);
            for (const T& value : kept_) {
                visit(value);
            }
        } else {
            writeRun();
            while (runs_.size() > kFanIn) {
                mergeLevel();
            }
            merge(*file_, runs_, visit);
        }
        kept_ = {};
        runs_.clear();
        file_.reset();
    }

private:
    using Run = typename RunFile<T>::Run;

    void writeRun() {
        if (kept_.empty()) {
            return;
        }
        std::sort(kept_.begin(), kept_.end(), less_);
        if (!file_) {
            file_ = std::make_unique<RunFile<T>>();
        }
        file_->write(kept_);
        runs_.push_back(file_->endRun());
        kept_.clear();
    }

    // Merges the runs kFanIn at a time into fewer, longer ones in a new file.
    void mergeLevel() {
        auto merged = std::make_unique<RunFile<T>>();
        std::vector<Run> longer;
        std::vector<T> block;
        block.reserve(kBlock);
        for (std::size_t first = 0; first < runs_.size(); first += kFanIn) {
            const std::span<const Run> group =
                std::span<const Run>(runs_).subspan(first, std::min(kFanIn, runs_.size() - first));
            merge(*file_, group, [&](const T& value) {
                block.push_back(value);
                if (block.size() == kBlock) {
                    merged->write(block);
                    block.clear();
                }
            });
            merged->write(block);
            block.clear();
            longer.push_back(merged->endRun());
        }
        file_ = std::move(merged);
        runs_ = std::move(longer);
    }

    template <typename Visit>
    void merge(const RunFile<T>& file, std::span<const Run> runs, Visit&& visit) const {
        std::vector<typename RunFile<T>::Reader> readers;
        readers.reserve(runs.size());
        for (const Run& run : runs) {
            readers.emplace_back(file, run);
        }
        // The reader whose front comes first on top.
        const auto later = [&](std::size_t left, std::size_t right) {
            return less_(readers[right].front(), readers[left].front());
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

    static constexpr std::size_t kBlock = 4096;

    std::size_t mostKept_;
    Less less_;
    std::vector<T> kept_;
    std::unique_ptr<RunFile<T>> file_;
    std::vector<Run> runs_;
};

}  // namespace korvo::measurement
