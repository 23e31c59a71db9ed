#include "figure/DetailText.h"

#include "figure/TemporaryFolder.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

namespace korvo::measurement {

namespace {

[[noreturn]] void failSpill(const char* what, int error) {
    throw std::runtime_error(std::string("Cannot ") + what + " the temporary file of detail rows in " +
                             TemporaryFolder::path() + " ($TMPDIR, else /tmp): " + std::strerror(error));
}

// The buffers of texts that held their rows up to a raised threshold, for the texts of later shards.
class SpareBuffers {
public:
    static std::string take(std::size_t capacity) {
        const std::lock_guard lock(mutex_);
        std::string buffer;
        if (!spare_.empty()) {
            buffer = std::move(spare_.back());
            spare_.pop_back();
        }
        buffer.reserve(capacity);
        return buffer;
    }
    static void give(std::string&& buffer) {
        const std::lock_guard lock(mutex_);
        if (spare_.size() < kMostSpare) {
            buffer.clear();
            spare_.push_back(std::move(buffer));
        }
    }

private:
    // Enough for a few shards' texts on every thread; a buffer beyond is let go.
    static constexpr std::size_t kMostSpare = 6;
    static inline std::mutex mutex_;
    static inline std::vector<std::string> spare_;
};

// Room past the threshold for the row that crosses it.
constexpr std::size_t kRowRoom = std::size_t{64} << 10;

}  // namespace

DetailText::~DetailText() {
    if (buffer_.capacity() > kSpillThreshold) {
        SpareBuffers::give(std::move(buffer_));
    }
}

void DetailText::enlarge() {
    std::string buffer = SpareBuffers::take(threshold_ + kRowRoom);
    buffer.append(buffer_);
    buffer_.swap(buffer);
}

std::string DetailText::str() const {
    std::string text;
    forEachPiece([&text](std::string_view piece) { text.append(piece); });
    return text;
}

void DetailText::append(const DetailText& later) {
    if (sink_) {
        flush();
        later.forEachPiece(sink_);
        return;
    }
    if (later.spill_) {
        // Own rows first, then the later text's file copied inside the kernel, without passing through here.
        spill();
        copySpill(later);
    }
    if (buffer_.size() + later.buffer_.size() >= std::max(threshold_, kSpillThreshold)) {
        // Rows that would pass the threshold go to the file as they are, not through this text's buffer.
        spill();
        writeSpill(later.buffer_);
        return;
    }
    buffer_.append(later.buffer_);
    rowEnded();
}

void DetailText::copySpill(const DetailText& later) {
    if (std::fflush(spill_.get()) != 0 || std::fflush(later.spill_.get()) != 0) {
        failSpill("write", errno);
    }
    const int to = fileno(spill_.get());
    const int from = fileno(later.spill_.get());
    loff_t offset = 0;
    std::uint64_t left = later.spilledBytes_;
    while (left != 0) {
        ssize_t copied = copy_file_range(from, &offset, to, nullptr, left, 0);
        if (copied < 0 && (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP)) {
            // A kernel or file system without in-kernel copies: through a buffer, then.
            std::vector<char> piece(std::min<std::uint64_t>(left, kSpillThreshold));
            copied = pread(from, piece.data(), piece.size(), offset);
            errno = 0;
            if (copied > 0 && write(to, piece.data(), static_cast<std::size_t>(copied)) != copied) {
                failSpill("write", errno != 0 ? errno : ENOSPC);
            }
            offset += copied > 0 ? copied : 0;
        }
        if (copied <= 0) {
            failSpill("write", copied < 0 ? errno : EIO);
        }
        left -= static_cast<std::uint64_t>(copied);
    }
    spilledBytes_ += later.spilledBytes_;
    // The stream's idea of where it stands must follow what was written past it.
    if (std::fseek(spill_.get(), 0, SEEK_END) != 0) {
        failSpill("write", errno);
    }
}

void DetailText::streamTo(std::function<void(std::string_view)> sink) {
    sink_ = std::move(sink);
    forEachPiece(sink_);
    clear();
}

void DetailText::endStream() {
    flush();
    sink_ = nullptr;
}

void DetailText::flush() {
    if (sink_ && !buffer_.empty()) {
        sink_(buffer_);
        buffer_.clear();
    }
}

void DetailText::moveOn() {
    if (sink_) {
        flush();
    } else {
        spill();
    }
}

void DetailText::clear() {
    buffer_.clear();
    spill_.reset();
    spilledBytes_ = 0;
}

void DetailText::spill() {
    if (!spill_) {
        const int descriptor = TemporaryFolder::createNameless("wiretally");
        if (descriptor < 0) {
            failSpill("create", errno);
        }
        spill_.reset(fdopen(descriptor, "w+b"));
        if (!spill_) {
            const int error = errno;
            close(descriptor);
            failSpill("open", error);
        }
    }
    writeSpill(buffer_);
    buffer_.clear();
}

void DetailText::writeSpill(std::string_view piece) {
    if (std::fwrite(piece.data(), 1, piece.size(), spill_.get()) != piece.size()) {
        failSpill("write", errno);
    }
    spilledBytes_ += piece.size();
}

void DetailText::readSpill(const std::function<void(std::string_view)>& write) const {
    std::FILE* file = spill_.get();
    if (std::fflush(file) != 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        failSpill("read", errno);
    }
    std::vector<char> piece(kSpillThreshold);
    std::uint64_t left = spilledBytes_;
    while (left != 0) {
        const std::size_t wanted = left < piece.size() ? static_cast<std::size_t>(left) : piece.size();
        const std::size_t got = std::fread(piece.data(), 1, wanted, file);
        if (got != wanted) {
            failSpill("read", std::ferror(file) != 0 ? errno : EIO);
        }
        write(std::string_view(piece.data(), got));
        left -= got;
    }
    // Appending again goes to the end, not over what was just read.
    if (std::fseek(file, 0, SEEK_END) != 0) {
        failSpill("read", errno);
    }
}

}  // namespace korvo::measurement
