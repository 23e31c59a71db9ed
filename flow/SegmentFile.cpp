#include "flow/SegmentFile.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "capture/Ipv6FlowTuple.h"
#include "flow/FileBlocks.h"
#include "flow/Ipv6ShardSegment.h"
#include "flow/ShardSegment.h"

namespace korvo::measurement {

namespace {

constexpr std::size_t kReadSegments = 4096;

[[noreturn]] void fail(const char* what, const std::string& path, int error) {
    throw std::runtime_error(std::string("Cannot ") + what + " " + path + ": " + std::strerror(error));
}

}  // namespace

template <typename Segment>
SegmentFile<Segment>::Writer::Writer(std::string path) : path_(std::move(path)) {
    file_.reset(std::fopen(path_.c_str(), "wb"));
    if (!file_) {
        fail("create", path_, errno);
    }
    block_.reserve(kBlock);
}

template <typename Segment>
void SegmentFile<Segment>::Writer::writeHeld() {
    if (!writeBlock(file_.get(), std::span<const Segment>(block_))) {
        fail("write", path_, errno);
    }
    block_.clear();
}

template <typename Segment>
void SegmentFile<Segment>::Writer::finish() {
    writeHeld();
    std::FILE* file = file_.release();
    const bool flushed = std::fflush(file) == 0;
    const int error = errno;
    if (std::fclose(file) != 0 || !flushed) {
        fail("write", path_, flushed ? errno : error);
    }
}

template <typename Segment>
void SegmentFile<Segment>::read(const std::string& path,
                                const std::function<void(std::span<const Segment>)>& take) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        fail("open", path, errno);
    }
    std::vector<Segment> block(kReadSegments);
    for (;;) {
        const std::size_t bytes = std::fread(block.data(), 1, block.size() * sizeof(Segment), file.get());
        if (bytes % sizeof(Segment) != 0) {
            throw std::runtime_error(path + " is damaged: it ends inside a segment");
        }
        if (bytes != 0) {
            take(std::span<const Segment>(block.data(), bytes / sizeof(Segment)));
        }
        if (bytes < block.size() * sizeof(Segment)) {
            if (std::ferror(file.get()) != 0) {
                fail("read", path, errno);
            }
            return;
        }
    }
}

template class SegmentFile<ShardSegment>;
template class SegmentFile<Ipv6ShardSegment>;
template class SegmentFile<Ipv6FlowTuple::Address>;

}  // namespace korvo::measurement
