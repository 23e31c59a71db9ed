#include "capture/CaptureInput.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <sstream>

#include "capture/CompressedStream.h"
#include "capture/FilterError.h"

namespace korvo::measurement {

CaptureInput::CaptureInput(std::string name) : name_(std::move(name)) {
    const bool standardInput = name_ == "-";
    FILE* file = standardInput ? stdin : std::fopen(name_.c_str(), "rb");
    if (file == nullptr) {
        failToOpen(name_ + ": " + std::strerror(errno));
    }
    struct stat status {};
    if (!standardInput && ::fstat(::fileno(file), &status) == 0 && S_ISREG(status.st_mode)) {
        size_ = static_cast<std::uint64_t>(status.st_size);
    }
    open(file);
}

void CaptureInput::open(FILE* file) {
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    // No capture format starts with the first byte of a compressed one, so one byte decides for a plain
    // capture, and it can be put back for the capture library on any input, a pipe included.
    const int first = std::getc(file);
    if (!CompressedStream::mayStart(first)) {
        if (first != EOF) {
            std::ungetc(first, file);
        }
        handle_ = pcap_fopen_offline(file, errorBuffer);
        if (handle_ == nullptr) {
            if (file != stdin) {
                std::fclose(file);
            }
            failToOpen(errorBuffer);
        }
        return;
    }
    std::array<unsigned char, CompressedStream::kMagicBytes> head{static_cast<unsigned char>(first)};
    const std::size_t headSize = 1 + std::fread(head.data() + 1, 1, head.size() - 1, file);
    const std::span<const unsigned char> taken(head.data(), headSize);
    const std::optional<CompressedStream::Format> format = CompressedStream::recognise(taken);
    FILE* decompressed = nullptr;
    if (format) {
        decompressed = CompressedStream::open(*format, file, taken, compressed_);
    }
    if (decompressed == nullptr) {
        if (file != stdin) {
            std::fclose(file);
        }
        failToOpen(format ? "cannot set up the decompressor"
                          : "unknown file format (neither a capture nor a gzip or zstd stream)");
    }
    handle_ = pcap_fopen_offline(decompressed, errorBuffer);
    if (handle_ == nullptr) {
        const std::string reason = compressed_->damage().empty() ? errorBuffer : compressed_->damage();
        std::fclose(decompressed);
        compressed_ = nullptr;
        failToOpen(reason);
    }
}

CaptureInput::~CaptureInput() {
    if (filtered_) {
        pcap_freecode(&filter_);
    }
    pcap_close(handle_);
}

void CaptureInput::failToOpen(const std::string& reason) const {
    std::ostringstream message;
    message << "PacketLoader::openInputFile() Error opening filename " << name_
            << " as libpcap formatted dump file.\n"
            << reason << '\n';
    std::cout << message.str() << std::flush;
    throw std::exception();
}

void CaptureInput::useFilter(const std::string& expression) {
    if (pcap_compile(handle_, &filter_, expression.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
        const char* linkName = pcap_datalink_val_to_name(linkType());
        throw FilterError("The filter \"" + expression + "\" cannot be compiled for link type " +
                          (linkName != nullptr ? linkName : "unknown") + " (" + std::to_string(linkType()) +
                          ") of " + name_ + ": " + pcap_geterr(handle_));
    }
    filtered_ = true;
}

std::string CaptureInput::readError() const {
    if (compressed_ != nullptr && !compressed_->damage().empty()) {
        return compressed_->damage();
    }
    return pcap_geterr(handle_);
}

std::uint64_t CaptureInput::bytesConsumed() const {
    if (compressed_ != nullptr) {
        return compressed_->compressedBytes();
    }
    FILE* file = pcap_file(handle_);
    if (file != nullptr) {
        const long position = std::ftell(file);
        if (position >= 0) {
            return static_cast<std::uint64_t>(position);
        }
    }
    return kFileHeaderBytes + recordBytes_;
}

}  // namespace korvo::measurement
