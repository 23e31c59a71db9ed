// The parallel hand-out: however the threads' timings fall, shards are added up in shard order, at most one
// judged shard per thread waits to be added up (their rows wait in memory), and a failure on any thread ends
// the run with that failure instead of a hang.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "flow/ParallelHandOut.h"

namespace korvo::measurement {
namespace {

// Judged shards not yet added up, and the most there ever were.
struct Waiting {
    std::atomic<std::size_t> now{0};
    std::atomic<std::size_t> most{0};
    void judged() {
        const std::size_t count = ++now;
        std::size_t seen = most;
        while (count > seen && !most.compare_exchange_weak(seen, count)) {
        }
    }
};

// A receiver whose copies each remember the shard they judged; adding one up records that shard.
class ShardRecorder : public SequenceEvaluatorHandler {
public:
    ShardRecorder(SequenceEvaluatorSource& source, Waiting& waiting)
        : SequenceEvaluatorHandler(source), waiting_(waiting) {}

    void handleSequenceEvaluator(const SequenceEvaluator& /*flow*/, const FlowVerdict& /*verdict*/) override {
    }
    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override {
        return std::make_unique<ShardRecorder>(source, waiting_);
    }
    void absorb(SequenceEvaluatorHandler& later) override {
        --waiting_.now;
        const std::vector<std::size_t>& laterShards = static_cast<ShardRecorder&>(later).shards;
        shards.insert(shards.end(), laterShards.begin(), laterShards.end());
        // Adding up takes a while, as writing rows does.
        std::this_thread::sleep_for(std::chrono::microseconds(shards.size() % 3 * 200));
    }

    std::vector<std::size_t> shards;

private:
    Waiting& waiting_;
};

constexpr std::size_t kShards = 64;

// Hands out the shards on `threads` threads: each shard's copy notes its shard after a wait that differs from
// shard to shard, so that later shards are often judged first.
std::vector<std::size_t> handOut(std::size_t threads, Waiting& waiting, std::size_t failingShard = kShards) {
    SequenceEvaluatorSource source;
    ShardRecorder recorder(source, waiting);
    const auto handOutShard = [&](std::size_t shard, const Signal<JudgedFlow>& signal) {
        if (shard == failingShard) {
            throw std::runtime_error("shard failed");
        }
        std::this_thread::sleep_for(std::chrono::microseconds((shard * 7919) % 5 * 300));
        for (Receiver<JudgedFlow>* receiver : signal.receivers()) {
            auto* copy = dynamic_cast<ShardRecorder*>(receiver);
            if (copy != &recorder) {
                copy->shards.push_back(shard);
                waiting.judged();
            } else {
                // On one thread the receiver judges every shard itself.
                recorder.shards.push_back(shard);
            }
        }
    };
    ParallelHandOut(kShards, handOutShard, source, std::size_t{4} << 20).run(threads);
    return recorder.shards;
}

TEST(ParallelHandOut, ShardsAreAddedUpInOrderAndFewWaitAtOnce) {
    std::vector<std::size_t> inOrder(kShards);
    for (std::size_t shard = 0; shard < kShards; ++shard) {
        inOrder[shard] = shard;
    }
    for (const std::size_t threads : {1U, 2U, 3U, 8U}) {
        SCOPED_TRACE(threads);
        Waiting waiting;
        EXPECT_EQ(handOut(threads, waiting), inOrder);
        EXPECT_EQ(waiting.now, 0U);
        EXPECT_LE(waiting.most, threads);
    }
}

TEST(ParallelHandOut, AFailingShardEndsTheRunWithItsFailure) {
    for (const std::size_t threads : {2U, 8U}) {
        for (const std::size_t failing : {std::size_t{0}, std::size_t{17}, kShards - 1}) {
            SCOPED_TRACE(std::to_string(threads) + " threads, shard " + std::to_string(failing));
            Waiting waiting;
            EXPECT_THROW(handOut(threads, waiting, failing), std::runtime_error);
        }
    }
}

}  // namespace
}  // namespace korvo::measurement
