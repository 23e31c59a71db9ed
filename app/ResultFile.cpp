#include "app/ResultFile.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace korvo::measurement {

ResultFile::ResultFile(std::string fileName)
    : fileName_(std::move(fileName)), file_(std::fopen(fileName_.c_str(), "w")) {
    if (file_ == nullptr) {
        fail(errno);
    }
}

ResultFile::~ResultFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
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

void ResultFile::close() {
    std::FILE* file = std::exchange(file_, nullptr);
    if (std::fclose(file) != 0) {
        fail(errno);
    }
}

void ResultFile::fail(int error) const {
    throw std::runtime_error("Error writing result file " + fileName_ + ": " + std::strerror(error));
}

}  // namespace korvo::measurement
