#pragma once
// Hands out the flows of every shard, shard after shard, to the receivers of a source. On one thread the
// receivers judge every flow themselves. On more, each shard is assembled and judged on whichever thread
// takes it, by empty copies of the receivers, and the copies' counts and rows are added to the receivers
// in shard order, so the results are the same for any number of threads.

#include <cstddef>
#include <span>

#include "flow/FlowShard.h"
#include "flow/SequenceEvaluatorHandler.h"

namespace korvo::measurement {

class ParallelHandOut {
public:
    ParallelHandOut(std::span<FlowShard> shards, SequenceEvaluatorSource& source)
        : shards_(shards), source_(source) {}

    void run(std::size_t threads);

private:
    void runSerially();
    // Whether every receiver can be split into copies.
    [[nodiscard]] bool splittable() const;

    std::span<FlowShard> shards_;
    SequenceEvaluatorSource& source_;
};

}  // namespace korvo::measurement
