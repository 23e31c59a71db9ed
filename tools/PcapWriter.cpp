#include "tools/PcapWriter.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tools/WireBytes.h"

namespace korvo::tools {

namespace {

constexpr std::size_t kBufferSize = std::size_t{4} << 20;
constexpr std::uint32_t kMagic = 0xa1b2c3d4;
constexpr std::uint16_t kVersionMajor = 2;
constexpr std::uint16_t kVersionMinor = 4;
constexpr std::size_t kFileHeaderLength = 24;
constexpr std::size_t kRecordHeaderLength = 16;

std::runtime_error fileError(const std::string& what, const std::string& path, int error) {
    return std::runtime_error(what + " capture file '" + path + "': " + std::strerror(error));
}

}  // namespace

PcapWriter::PcapWriter(const std::string& path, std::uint32_t snapLength, std::uint32_t linkType)
    : path_(path), file_(std::fopen(path.c_str(), "wb")) {
    if (file_ == nullptr) {
        throw fileError("cannot create", path_, errno);
    }
    // Our own buffer does the batching; a second one in stdio would only add a copy.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    buffer_.reserve(kBufferSize);

    std::uint8_t header[kFileHeaderLength] = {};
    wire::storeLittleEndian32(header, kMagic);
    wire::storeLittleEndian16(header + 4, kVersionMajor);
    wire::storeLittleEndian16(header + 6, kVersionMinor);
    wire::storeLittleEndian32(header + 16, snapLength);
    wire::storeLittleEndian32(header + 20, linkType);
    append(header, sizeof header);
}

PcapWriter::~PcapWriter() {
    try {
        close();
    } catch (const std::exception&) {
        // A destructor must not throw; callers who care about write errors call close() themselves.
    }
}

void PcapWriter::writeRecord(std::uint32_t seconds, std::uint32_t microseconds,
                             std::span<const std::uint8_t> captured, std::uint32_t wireLength) {
    std::uint8_t header[kRecordHeaderLength];
    wire::storeLittleEndian32(header, seconds);
    wire::storeLittleEndian32(header + 4, microseconds);
    wire::storeLittleEndian32(header + 8, static_cast<std::uint32_t>(captured.size()));
    wire::storeLittleEndian32(header + 12, wireLength);
    append(header, sizeof header);
    append(captured.data(), captured.size());
}

void PcapWriter::write(std::uint32_t seconds, std::uint32_t microseconds,
                       std::span<const std::uint8_t> frame) {
    writeRecord(seconds, microseconds, frame, static_cast<std::uint32_t>(frame.size()));
}

void PcapWriter::writeRaw(std::span<const std::uint8_t> bytes) {
    append(bytes.data(), bytes.size());
}

void PcapWriter::close() {
    if (file_ == nullptr) {
        return;
    }
    try {
        flushBuffer();
    } catch (const std::runtime_error&) {
        std::fclose(file_);
        file_ = nullptr;
        throw;
    }
    const int result = std::fclose(file_);
    file_ = nullptr;
    if (result != 0) {
        throw fileError("cannot close", path_, errno);
    }
}

void PcapWriter::append(const void* data, std::size_t size) {
    if (file_ == nullptr) {
        throw std::logic_error("capture file '" + path_ + "' written after close()");
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (buffer_.size() + size > kBufferSize) {
        flushBuffer();
    }
    if (size > kBufferSize) {
        writeToFile(bytes, size);
    } else {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
    }
    bytesWritten_ += size;
}

void PcapWriter::flushBuffer() {
    writeToFile(buffer_.data(), buffer_.size());
    buffer_.clear();
}

void PcapWriter::writeToFile(const std::uint8_t* bytes, std::size_t size) {
    if (size != 0 && std::fwrite(bytes, 1, size, file_) != size) {
        throw fileError("cannot write", path_, errno);
    }
}

}  // namespace korvo::tools
