#include "flow/FlowShard.h"

#include <algorithm>
#include <queue>
#include <utility>

namespace korvo::measurement {

namespace {

constexpr std::size_t kWriteBlock = 4096;

}  // namespace

std::vector<FlowShard::SortEntry> FlowShard::sortKept() const {
    std::vector<SortEntry> sorted(kept_.size());
    for (std::size_t position = 0; position < kept_.size(); ++position) {
        sorted[position] = {kept_[position].orderKey(), static_cast<std::uint32_t>(position)};
    }
    // Positions follow capture order, so equal keys stay in capture order.
    std::sort(sorted.begin(), sorted.end(), [](const SortEntry& left, const SortEntry& right) {
        return left.key != right.key ? left.key < right.key : left.position < right.position;
    });
    return sorted;
}

void FlowShard::spill() {
    if (kept_.empty()) {
        return;
    }
    if (!file_) {
        file_ = std::make_unique<RunFile>();
    }
    const std::vector<SortEntry> sorted = sortKept();
    std::vector<ShardSegment> block;
    block.reserve(kWriteBlock);
    for (const SortEntry& entry : sorted) {
        block.push_back(kept_[entry.position]);
        if (block.size() == kWriteBlock) {
            file_->write(block);
            block.clear();
        }
    }
    file_->write(block);
    runs_.push_back(file_->endRun());
    kept_.clear();
}

void FlowShard::handOut(FlowAssembler& assembler) {
    const std::vector<SortEntry> sorted = sortKept();
    if (runs_.empty()) {
        for (const SortEntry& entry : sorted) {
            assembler.add(kept_[entry.position], entry.key);
        }
    } else {
        merge(assembler, sorted);
    }
    assembler.finish();
    kept_.release();
    runs_.clear();
    file_.reset();
}

void FlowShard::merge(FlowAssembler& assembler, const std::vector<SortEntry>& sorted) const {
    std::vector<RunFile::Reader> readers;
    readers.reserve(runs_.size());
    for (const RunFile::Run& run : runs_) {
        readers.emplace_back(*file_, run);
    }
    // Sources are the runs, then the kept segments (source readers.size()). A segment's place in the merge
    // is its order key, then its packet number, which is capture order across runs.
    struct Head {
        std::uint64_t key;
        std::uint64_t packet;
        std::size_t source;
        bool operator>(const Head& other) const {
            return key != other.key ? key > other.key : packet > other.packet;
        }
    };
    std::priority_queue<Head, std::vector<Head>, std::greater<>> heads;
    const auto push = [&heads](const ShardSegment& segment, std::size_t source) {
        heads.push({segment.orderKey(), segment.record.packetNumber(), source});
    };
    for (std::size_t source = 0; source < readers.size(); ++source) {
        if (!readers[source].done()) {
            push(readers[source].front(), source);
        }
    }
    std::size_t nextKept = 0;
    if (!sorted.empty()) {
        push(kept_[sorted[0].position], readers.size());
    }
    while (!heads.empty()) {
        const Head head = heads.top();
        heads.pop();
        if (head.source == readers.size()) {
            assembler.add(kept_[sorted[nextKept].position], head.key);
            if (++nextKept < sorted.size()) {
                push(kept_[sorted[nextKept].position], readers.size());
            }
            continue;
        }
        RunFile::Reader& reader = readers[head.source];
        assembler.add(reader.front(), head.key);
        reader.pop();
        if (!reader.done()) {
            push(reader.front(), head.source);
        }
    }
}

}  // namespace korvo::measurement
