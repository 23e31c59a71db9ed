#pragma once
// Sorts more values than memory may hold: values are kept up to a given number, and each time that many are
// kept they are sorted and written to a temporary file as a run; at the end the runs are merged (RunMerge).

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "flow/RunFile.h"
#include "flow/RunMerge.h"

namespace korvo::measurement {

template <typename T, typename Less>
class ExternalSort {
public:
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
            kept_ = {};
            RunMerge<T, Less>::merge(file_, runs_, less_, visit);
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

    std::size_t mostKept_;
    Less less_;
    std::vector<T> kept_;
    std::unique_ptr<RunFile<T>> file_;
    std::vector<Run> runs_;
};

}  // namespace korvo::measurement
