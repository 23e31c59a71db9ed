#include "flow/ParallelHandOut.h"

#include <algorithm>
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

    // All guarded by the mutex.
    std::vector<std::unique_ptr<ShardJudges>> judged(shards_);
    std::size_t nextShard = 0;
    std::size_t absorbed = 0;
    bool failed = false;
    std::exception_ptr failure;
    std::mutex mutex;
    std::condition_variable changed;

    // Every thread judges shards and, whenever the next shard in order is judged and nobody is adding one
    // up, adds it up: the writing of rows falls to whichever thread is free. A thread takes a new shard only
    // while at most one per thread waits to be added up, holding its rows.
    const auto work = [&] {
        std::unique_lock lock(mutex);
        while (!failed && absorbed < shards_) {
            if (judged[absorbed] != nullptr) {
                // Taken out, the shard is not there for another thread to add up while this one does.
                std::unique_ptr<ShardJudges> judges = std::move(judged[absorbed]);
                lock.unlock();
                for (std::size_t receiver = 0; receiver < receivers.size(); ++receiver) {
                    receivers[receiver]->absorb(*judges->copies[receiver]);
                }
                judges.reset();
                lock.lock();
                ++absorbed;
                changed.notify_all();
            } else if (nextShard < shards_ && nextShard < absorbed + threads) {
                const std::size_t shard = nextShard++;
                lock.unlock();
                auto judges = std::make_unique<ShardJudges>();
                for (const SequenceEvaluatorHandler* receiver : receivers) {
                    judges->copies.push_back(receiver->emptyCopy(judges->source));
                    judges->copies.back()->holdRowsUpTo(rowsHeld_);
                }
                handOutShard_(shard, judges->source.signal);
                lock.lock();
                judged[shard] = std::move(judges);
                changed.notify_all();
            } else {
                changed.wait(lock);
            }
        }
    };
    const auto workOrFail = [&] {
        try {
            work();
        } catch (...) {
            const std::lock_guard lock(mutex);
            if (!failure) {
                failure = std::current_exception();
            }
            failed = true;
            changed.notify_all();
        }
    };
    std::vector<std::jthread> helpers;
    for (std::size_t helper = 1; helper < threads; ++helper) {
        helpers.emplace_back(workOrFail);
    }
    workOrFail();
    helpers.clear();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

}  // namespace korvo::measurement
