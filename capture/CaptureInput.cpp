#include "capture/CaptureInput.h"

#include <stdio_ext.h>

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <sstream>
#include <stdexcept>

#include "capture/CompressedStream.h"
#include "capture/FilterError.h"
#include "capture/PcapngReader.h"

namespace korvo::measurement {

namespace {

constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kBufferSize = std::size_t{1} << 20;

}  // namespace

CaptureInput::CaptureInput(std::string name) : name_(std::move(name)) {
    const bool standardInput = name_ == "-";
    FILE* file = standardInput ? stdin : std::fopen(name_.c_str(), "rb");
    if (file == nullptr) {
        failToOpen(name_ + ": " + std::strerror(errno));
    }
    struct stat status {};
    if (!standardInput && ::fstat(::fileno(file), &status) == 0 && S_ISREG(status.st_mode)) {
        size_ = static_cast<std::uint64_t>(status.st_size);
        buffer_.reset(static_cast<char*>(std::aligned_alloc(kPageSize, kBufferSize)));
        if (buffer_) {
            std::setvbuf(file, buffer_.get(), _IOFBF, kBufferSize);
        }
    }
    open(file);
}

void CaptureInput::open(FILE* file) {
    // No capture format starts with the first byte of a compressed one, so one byte decides for a plain
    // capture, and it can be put back on any input, a pipe included.
    const int first = std::getc(file);
    if (!CompressedStream::mayStart(first)) {
        if (first != EOF) {
            std::ungetc(first, file);
        }
        openPlain(file);
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
                          : "unknown file format (neither a capture nor a gzip, zstd, xz or bzip2 stream)");
    }
    try {
        openPlain(decompressed);
    } catch (...) {
        compressed_ = nullptr;
        throw;
    }
}

void CaptureInput::openPlain(FILE* file) {
    const auto closeAndFail = [&](const std::string& reason) {
        const std::string damage = compressed_ != nullptr ? compressed_->damage() : std::string();
        if (file != stdin || compressed_ != nullptr) {
            std::fclose(file);
        }
        failToOpen(damage.empty() ? reason : damage);
    };
    // Only the reading thread touches the stream: stdio need not lock it for every read.
    __fsetlocking(file, FSETLOCKING_BYCALLER);
    const int first = std::getc(file);
    if (first != EOF) {
        std::ungetc(first, file);
    }
    if (first == (PcapngReader::kSectionHeaderType & 0xFF)) {
        try {
            pcapng_ = std::make_unique<PcapngReader>(file);
        } catch (const std::runtime_error& error) {
            closeAndFail(error.what());
        }
        file_ = file;
        frameLinkType_ = linkType();
        return;
    }
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    handle_ = pcap_fopen_offline(file, errorBuffer);
    if (handle_ == nullptr) {
        closeAndFail(errorBuffer);
    }
    file_ = pcap_file(handle_);
    frameLinkType_ = pcap_datalink(handle_);
}

CaptureInput::~CaptureInput() {
    for (auto& [linkType, program] : programs_) {
        pcap_freecode(&program);
    }
    if (handle_ != nullptr) {
        pcap_close(handle_);
    } else if (file_ != nullptr) {
        std::fclose(file_);
    }
}

int CaptureInput::linkType() const {
    if (pcapng_) {
        return pcapng_->linkTypes().front();
    }
    return pcap_datalink(handle_);
}

std::vector<int> CaptureInput::linkTypes() const {
    if (pcapng_) {
        return pcapng_->linkTypes();
    }
    return {pcap_datalink(handle_)};
}

int CaptureInput::next(const pcap_pkthdr*& header, const u_char*& data) {
    if (!pcapng_) {
        pcap_pkthdr* read = nullptr;
        int result = 0;
        // 0 (no frame yet) comes from live captures only.
        do {
            result = pcap_next_ex(handle_, &read, &data);
        } while (result == 0);
        header = read;
        return result == kFrameRead ? kFrameRead : (result == PCAP_ERROR_BREAK ? kEndOfFile : kReadError);
    }
    switch (pcapng_->next()) {
        case PcapngReader::Result::Frame:
            header = &pcapng_->header();
            data = pcapng_->data();
            frameLinkType_ = pcapng_->linkType();
            return kFrameRead;
        case PcapngReader::Result::End:
            return kEndOfFile;
        case PcapngReader::Result::Error:
            break;
    }
    return kReadError;
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
    filter_ = expression;
    for (const int type : linkTypes()) {
        useFilterFor(type);
    }
    useFilterFor(frameLinkType_);
}

void CaptureInput::useFilterFor(int linkType) {
    auto found = programs_.find(linkType);
    if (found == programs_.end()) {
        pcap_t* compiler = handle_;
        if (pcapng_) {
            compiler = pcap_open_dead(linkType, kCompilerSnapLength);
            if (compiler == nullptr) {
                throw std::bad_alloc();
            }
        }
        bpf_program program{};
        const bool compiled = pcap_compile(compiler, &program, filter_.c_str(), 1, PCAP_NETMASK_UNKNOWN) == 0;
        const std::string reason = compiled ? std::string() : pcap_geterr(compiler);
        if (compiler != handle_) {
            pcap_close(compiler);
        }
        if (!compiled) {
            const char* linkName = pcap_datalink_val_to_name(linkType);
            throw FilterError("The filter \"" + filter_ + "\" cannot be compiled for link type " +
                              (linkName != nullptr ? linkName : "unknown") + " (" + std::to_string(linkType) +
                              ") of " + name_ + ": " + reason);
        }
        found = programs_.emplace(linkType, program).first;
    }
    filterLinkType_ = linkType;
    currentFilter_ = &found->second;
}

std::string CaptureInput::readError() const {
    if (compressed_ != nullptr && !compressed_->damage().empty()) {
        return compressed_->damage();
    }
    return pcapng_ ? pcapng_->error() : std::string(pcap_geterr(handle_));
}

std::uint64_t CaptureInput::bytesConsumed() const {
    if (compressed_ != nullptr) {
        return compressed_->compressedBytes();
    }
    if (file_ != nullptr) {
        const long position = std::ftell(file_);
        if (position >= 0) {
            return static_cast<std::uint64_t>(position);
        }
    }
    return kFileHeaderBytes + recordBytes_;
}

}  // namespace korvo::measurement
