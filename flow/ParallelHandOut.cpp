#include "flow/ParallelHandOut.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace korvo::measurement {

namespace {

// The receiver copies that judged one shard.
struct ShardJudges {
    SequenceEvaluatorSource source;
    std::vector<std::unique_ptr<SequenceEvaluatorHandler>> copies;
};

}  // namespace

bool ParallelHandOut::splittable() const {
    SequenceEvaluatorSource trial;
    for (Receiver<JudgedFlow>* receiver : source_.signal.receivers()) {
        const auto* handler = dynamic_cast<const SequenceEvaluatorHandler*>(receiver);
        if (handler == nullptr || !handler->emptyCopy(trial)) {
            return false;
        }
    }
    return true;
}

void ParallelHandOut::runSerially() {
    for (std::size_t shard = 0; shard < shards_; ++shard) {
        handOutShard_(shard, source_.signal);
    }
}

void ParallelHandOut::run(std::size_t threads) {
    // A thread beyond one per shard would find nothing to do.
    threads = std::min(threads, shards_);
    if (threads <= 1 || !splittable()) {
        runSerially();
        return;
    }
    std::vector<SequenceEvaluatorHandler*> receivers;
    for (Receiver<JudgedFlow>* receiver : source_.signal.receivers()) {
        receivers.push_back(dynamic_cast<SequenceEvaluatorHandler*>(receiver));
    }

    std::vector<std::unique_ptr<ShardJudges>> judged(shards_);
    std::atomic<std::size_t> nextShard{0};
    std::atomic<bool> failed{false};
    std::mutex mutex;
    std::condition_variable shardDone;
    // Signalled when a shard has been added up.
    std::condition_variable shardAbsorbed;
    std::size_t absorbed = 0;
    std::exception_ptr failure;

    // Judges the next shard nobody has taken; false when none is left.
    const auto judgeNext = [&] {
        const std::size_t shard = nextShard++;
        if (shard >= shards_) {
            return false;
        }
        auto judges = std::make_unique<ShardJudges>();
        for (const SequenceEvaluatorHandler* receiver : receivers) {
            judges->copies.push_back(receiver->emptyCopy(judges->source));
            judges->copies.back()->holdRowsUpTo(rowsHeld_);
        }
        handOutShard_(shard, judges->source.signal);
        const std::lock_guard lock(mutex);
        judged[shard] = std::move(judges);
        shardDone.notify_all();
        return true;
    };
    const auto fail = [&] {
        const std::lock_guard lock(mutex);
        if (!failure) {
            failure = std::current_exception();
        }
        failed = true;
        shardDone.notify_all();
        shardAbsorbed.notify_all();
    };
    std::vector<std::jthread> helpers;
    for (std::size_t helper = 1; helper < threads; ++helper) {
        helpers.emplace_back([&] {
            try {
                while (!failed) {
                    {
                        // Judged shards beyond one per thread would only wait, holding their rows.
                        std::unique_lock lock(mutex);
                        shardAbsorbed.wait(lock, [&] { return nextShard < absorbed + threads || failed; });
                    }
                    if (failed || !judgeNext()) {
                        break;
                    }
                }
            } catch (...) {
                fail();
            }
        });
    }

    // This thread adds the judged shards up in order, and judges shards itself while the next one in order
    // is not ready.
    try {
        while (absorbed < shards_ && !failed) {
            std::unique_ptr<ShardJudges> judges;
            {
                std::unique_lock lock(mutex);
                if (judged[absorbed] == nullptr && nextShard >= shards_) {
                    shardDone.wait(lock, [&] { return judged[absorbed] != nullptr || failed; });
                }
                judges = std::move(judged[absorbed]);
            }
            if (judges == nullptr) {
                judgeNext();
                continue;
            }
            for (std::size_t receiver = 0; receiver < receivers.size(); ++receiver) {
                receivers[receiver]->absorb(*judges->copies[receiver]);
            }
            judges.reset();
            const std::lock_guard lock(mutex);
            ++absorbed;
            shardAbsorbed.notify_all();
        }
    } catch (...) {
        fail();
    }
    helpers.clear();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

}  // namespace korvo::measurement
