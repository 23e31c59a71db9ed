#include "flow/RunFile.h"

#include "figure/TemporaryFolder.h"
#include "flow/Ipv6ShardSegment.h"
#include "flow/ShardSegment.h"
#include "flow/SpilledSegment.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace korvo::measurement {

namespace {

constexpr std::size_t kReadBlock = 1024;

}  // namespace

template <typename Segment>
RunFile<Segment>::RunFile() {
    folder_ = TemporaryFolder::path();
    descriptor_ = TemporaryFolder::createNameless("wiretally-flows");
    if (descriptor_ < 0) {
        fail("create", errno);
    }
}

template <typename Segment>
RunFile<Segment>::~RunFile() {
    close(descriptor_);
}

template <typename Segment>
void RunFile<Segment>::fail(const char* what, int error) const {
    throw std::runtime_error(
        std::string("Cannot ") + what + " a temporary file of flow segments in " + folder_ +
        " (used beyond the memory limit; --max-memory raises it): " + std::strerror(error));
}

template <typename Segment>
void RunFile<Segment>::write(std::span<const Segment> segments) {
    const auto* bytes = reinterpret_cast<const char*>(segments.data());
    std::size_t left = segments.size_bytes();
    while (left != 0) {
        const ssize_t wrote = ::write(descriptor_, bytes, left);
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("write", errno);
        }
        if (wrote == 0) {
            fail("write", ENOSPC);
        }
        bytes += wrote;
        left -= static_cast<std::size_t>(wrote);
    }
    written_ += segments.size();
}

template <typename Segment>
typename RunFile<Segment>::Run RunFile<Segment>::endRun() {
    const Run run{runStart_, written_ - runStart_};
    runStart_ = written_;
    return run;
}

template <typename Segment>
RunFile<Segment>::Reader::Reader(const RunFile& file, Run run)
    : file_(&file), position_(run.first), left_(run.count) {
    buffer_.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, run.count)));
    refill();
}

template <typename Segment>
void RunFile<Segment>::Reader::pop() {
    if (++next_ == buffer_.size() && left_ != 0) {
        refill();
    }
}

template <typename Segment>
void RunFile<Segment>::Reader::refill() {
    const std::size_t count = left_ < kReadBlock ? static_cast<std::size_t>(left_) : kReadBlock;
    buffer_.resize(count);
    auto* bytes = reinterpret_cast<char*>(buffer_.data());
    std::size_t left = count * sizeof(Segment);
    auto offset = static_cast<off_t>(position_ * sizeof(Segment));
    while (left != 0) {
        const ssize_t got = pread(file_->descriptor_, bytes, left, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            file_->fail("read", got < 0 ? errno : EIO);
        }
        bytes += got;
        offset += got;
        left -= static_cast<std::size_t>(got);
    }
    position_ += count;
    left_ -= count;
    next_ = 0;
}

template class RunFile<ShardSegment>;
template class RunFile<Ipv6ShardSegment>;
template class RunFile<SegmentRecord>;
template class RunFile<SpilledSegment>;
template class RunFile<std::uint32_t>;
template class RunFile<std::int64_t>;

}  // namespace korvo::measurement
