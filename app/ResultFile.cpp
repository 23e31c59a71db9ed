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
    file_ = ::fdopen(descriptor, "w");
    if (file_ == nullptr) {
        const int error = errno;
        ::close(descriptor);
        discard(hold);
        fail(error);
    }
    buffer_ = std::make_unique_for_overwrite<char[]>(kWritePiece);
    // A stream that keeps its own buffer writes as well, in smaller pieces: a refusal is no failure.
    static_cast<void>(std::setvbuf(file_, buffer_.get(), _IOFBF, kWritePiece));
}

ResultFile::~ResultFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
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
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
        fail(errno);
    }
}

void ResultFile::write(const DetailText& text) {
    text.forEachPiece([this](std::string_view piece) { write(piece); });
}

void ResultFile::endLine() {
    write("\n");
    if (std::fflush(file_) != 0) {
        fail(errno);
    }
}

void ResultFile::finish() {
    std::FILE* file = std::exchange(file_, nullptr);
    if (std::fclose(file) != 0) {
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
