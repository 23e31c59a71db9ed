#pragma once
// Writes values to a run of a temporary file a block at a time.

#include <cstddef>
#include <vector>

#include "flow/RunFile.h"

namespace korvo::measurement {

template <typename T>
class RunWriter {
public:
    static constexpr std::size_t kBlock = 4096;

    explicit RunWriter(RunFile<T>& file) : file_(&file) { block_.reserve(kBlock); }

    void add(const T& value) {
        block_.push_back(value);
        if (block_.size() == kBlock) {
            file_->write(block_);
            block_.clear();
        }
    }
    // Writes what is left and ends the run.
    typename RunFile<T>::Run finish() {
        file_->write(block_);
        block_ = {};
        return file_->endRun();
    }

private:
    RunFile<T>* file_;
    std::vector<T> block_;
};

}  // namespace korvo::measurement
