#include "app/ResultFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>

namespace korvo::measurement {

namespace {

constexpr int kNameAttempts = 100;

[[noreturn]] void failFile(const std::string& fileName, int error) {
    throw std::runtime_error("Error writing result file " + fileName + ": " + std::strerror(error));
}

// Creates a new file beside `fileName`, named after it, the process and a counter, with the permissions a
// plain new file gets; fills `temporaryName`. Returns the descriptor, or -1 with errno set.
int createTemporary(const std::string& fileName, std::string& temporaryName) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temporaryName = fileName + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        const int descriptor = ::open(temporaryName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST) {
            return descriptor;
        }
    }
    return -1;
}

}  // namespace

ResultFile::ResultFile(std::string fileName) : fileName_(std::move(fileName)) {
    const InterruptWatcher::StopHold hold;
    const int descriptor = createTemporary(fileName_, temporaryName_);
    if (descriptor < 0) {
        fail(errno);
    }
    InterruptWatcher::recordTemporary(hold, temporaryName_);
    descriptor_ = descriptor;
    buffer_ = std::make_unique_for_overwrite<char[]>(kWritePiece);
}

ResultFile::~ResultFile() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
    if (!placed_) {
        const InterruptWatcher::StopHold hold;
        discard(hold);
    }
}

void ResultFile::checkCreatable(const std::string& fileName) {
    const InterruptWatcher::StopHold hold;
    std::string temporaryName;
    const int descriptor = createTemporary(fileName, temporaryName);
    if (descriptor < 0) {
        failFile(fileName, errno);
    }
    ::close(descriptor);
    ::unlink(temporaryName.c_str());
}

void ResultFile::write(std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (buffered_ + text.size() > kWritePiece) {
        flushBuffer();
        if (text.size() >= kWritePiece) {
            writeOut(text);
            return;
        }
    }
    std::memcpy(buffer_.get() + buffered_, text.data(), text.size());
    buffered_ += text.size();
}

void ResultFile::flushBuffer() {
    writeOut({buffer_.get(), std::exchange(buffered_, 0)});
}

void ResultFile::writeOut(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(descriptor_, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
        }
        text.remove_prefix(static_cast<std::size_t>(written));
        handedOver_ += static_cast<std::uint64_t>(written);
    }
    writeBehind();
}

void ResultFile::writeBehind() {
    if (!writingBehind_ || handedOver_ < kWriteBehindStart) {
        return;
    }
    for (; sentOn_ + kWriteBehindPart <= handedOver_; sentOn_ += kWriteBehindPart) {
        if (::sync_file_range(descriptor_, static_cast<off_t>(sentOn_), kWriteBehindPart,
                              SYNC_FILE_RANGE_WRITE) != 0) {
            if (errno != EINVAL && errno != ESPIPE && errno != ENOSYS) {
                fail(errno);
            }
            // The file system has no such writes: the file stays with the system as any other.
            writingBehind_ = false;
            return;
        }
    }
    for (; letGo_ + kWriteBehindPart + kWriteBehindLag <= sentOn_; letGo_ += kWriteBehindPart) {
        if (::sync_file_range(
                descriptor_, static_cast<off_t>(letGo_), kWriteBehindPart,
                SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) != 0) {
            fail(errno);
        }
        // Only advice: a part kept in memory is no fault.
        static_cast<void>(
            ::posix_fadvise(descriptor_, static_cast<off_t>(letGo_), kWriteBehindPart, POSIX_FADV_DONTNEED));
    }
}

void ResultFile::write(const DetailText& text) {
    text.forEachPiece([this](std::string_view piece) { write(piece); });
}

void ResultFile::finish() {
    flushBuffer();
    if (::close(std::exchange(descriptor_, -1)) != 0) {
        fail(errno);
    }
}

void ResultFile::place(const InterruptWatcher::StopHold& hold) {
    if (std::rename(temporaryName_.c_str(), fileName_.c_str()) != 0) {
        const int error = errno;
        discard(hold);
        fail(error);
    }
    InterruptWatcher::forgetTemporary(hold, temporaryName_);
    placed_ = true;
}

void ResultFile::discard(const InterruptWatcher::StopHold& hold) {
    ::unlink(temporaryName_.c_str());
    InterruptWatcher::forgetTemporary(hold, temporaryName_);
}

void ResultFile::fail(int error) const {
    failFile(fileName_, error);
}

}  // namespace korvo::measurement
