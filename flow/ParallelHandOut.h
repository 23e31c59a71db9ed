#pragma once
// Hands out the flows of every shard, shard after shard, to the receivers of a source. On one thread the
// receivers judge every flow themselves. On more, each shard is assembled and judged on whichever thread
// takes it, by empty copies of the receivers, and the copies' counts and rows are added to the receivers
// in shard order, so the results are the same for any number of threads. A thread judges a shard only while
// few enough judged shards wait to be added: their rows wait in memory, so memory stays bounded however
// large the output.

#include <cstddef>
#include <functional>
#include <utility>

#include "flow/SequenceEvaluatorHandler.h"

namespace korvo::measurement {

class ParallelHandOut {
public:
    // Hands every flow of one shard, in order, to the receivers of a signal.
    using HandOutShard = std::function<void(std::size_t shard, const Signal<JudgedFlow>& signal)>;

    // Each copy keeps up to `rowsHeld` bytes of each of its texts of rows in memory.
    ParallelHandOut(std::size_t shards, HandOutShard handOutShard, SequenceEvaluatorSource& source,
                    std::size_t rowsHeld)
        : shards_(shards), handOutShard_(std::move(handOutShard)), source_(source), rowsHeld_(rowsHeld) {}

    void run(std::size_t threads);

private:
    void runSerially();
    // Whether every receiver can be split into copies.
    [[nodiscard]] bool splittable() const;

    std::size_t shards_;
    HandOutShard handOutShard_;
    SequenceEvaluatorSource& source_;
    std::size_t rowsHeld_;
};

}  // namespace korvo::measurement
