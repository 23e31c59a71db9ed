#include "capture/PcapngReader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <map>
#include <stdexcept>

namespace korvo::measurement {

namespace {

constexpr std::uint32_t kInterfaceType = 1;
constexpr std::uint32_t kObsoletePacketType = 2;
constexpr std::uint32_t kSimplePacketType = 3;
constexpr std::uint32_t kEnhancedPacketType = 6;
constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint32_t kSwappedByteOrderMagic = 0x4D3C2B1A;

// Type and length in front of the body, the length repeated behind it.
constexpr std::uint32_t kBlockFrameBytes = 12;
// A block longer than this is taken for damage rather than read into memory.
constexpr std::uint32_t kMostBlockBytes = 16U << 20;
constexpr std::size_t kSectionHeaderBytes = 16;
constexpr std::size_t kInterfaceBytes = 8;
constexpr std::size_t kPacketBytes = 20;
constexpr std::size_t kSimplePacketBytes = 4;

constexpr std::uint16_t kEndOfOptions = 0;
constexpr std::uint16_t kOptionResolution = 9;
constexpr std::uint16_t kOptionOffset = 14;

// The snap length the capture library assumes where an interface gives none.
constexpr std::uint32_t kDefaultSnapLength = 262144;

constexpr std::uint64_t kMicrosPerSecond = 1'000'000;
// A fraction of a second times a million fits in 128 bits at any resolution.
__extension__ using Wide = unsigned __int128;

// The capture library's number for a link type as capture files number it: mostly the same, but a few
// (raw IP, ATM, the BSD/OS ones) differ by system. The library is asked, through a classic file header of
// that link type, so that both readers agree.
int libraryLinkType(std::uint16_t fileLinkType) {
    static std::map<std::uint16_t, int> known;
    if (const auto found = known.find(fileLinkType); found != known.end()) {
        return found->second;
    }
    std::array<unsigned char, 24> header = {0xD4, 0xC3, 0xB2, 0xA1, 2, 0, 4, 0};
    header[16] = 0xFF;
    header[17] = 0xFF;
    header[20] = static_cast<unsigned char>(fileLinkType);
    header[21] = static_cast<unsigned char>(fileLinkType >> 8);
    int linkType = fileLinkType;
    if (FILE* file = fmemopen(header.data(), header.size(), "rb"); file != nullptr) {
        char error[PCAP_ERRBUF_SIZE];
        if (pcap_t* handle = pcap_fopen_offline(file, error); handle != nullptr) {
            linkType = pcap_datalink(handle);
            pcap_close(handle);
        } else {
            std::fclose(file);
        }
    }
    known.emplace(fileLinkType, linkType);
    return linkType;
}

std::uint32_t raw32(const unsigned char* bytes) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

}  // namespace

PcapngReader::PcapngReader(FILE* file) : file_(file) {
    std::uint32_t type = 0;
    if (readBlock(type) != Result::Frame || type != kSectionHeaderType) {
        throw std::runtime_error(error_.empty() ? "not a pcapng capture" : error_);
    }
    if (!readSectionHeader()) {
        throw std::runtime_error(error_);
    }
    // The interface descriptions in front of the first packet, so that their link types are known before
    // reading starts. Up to the first one whole, damage means the file cannot be opened; after it, the
    // first next() reports it.
    for (;;) {
        pendingResult_ = readBlock(type);
        if (pendingResult_ != Result::Frame || type == kEnhancedPacketType || type == kSimplePacketType ||
            type == kObsoletePacketType) {
            if (interfaces_.empty()) {
                throw std::runtime_error(
                    pendingResult_ == Result::Error
                        ? error_
                        : "the capture has no interface description in front of its packets");
            }
            pending_ = true;
            pendingType_ = type;
            return;
        }
        if ((type == kSectionHeaderType && !readSectionHeader()) ||
            (type == kInterfaceType && !readInterface())) {
            if (interfaces_.empty()) {
                throw std::runtime_error(error_);
            }
            pending_ = true;
            pendingResult_ = Result::Error;
            return;
        }
    }
}

PcapngReader::Result PcapngReader::fail(std::string reason) {
    error_ = std::move(reason);
    return Result::Error;
}

std::uint16_t PcapngReader::read16(std::size_t offset) const {
    std::uint16_t value = 0;
    std::memcpy(&value, body_.data() + offset, sizeof value);
    return swapped_ ? __builtin_bswap16(value) : value;
}

std::uint32_t PcapngReader::read32(std::size_t offset) const {
    const std::uint32_t value = raw32(body_.data() + offset);
    return swapped_ ? __builtin_bswap32(value) : value;
}

PcapngReader::Result PcapngReader::readBlock(std::uint32_t& type) {
    unsigned char head[8];
    const std::size_t got = std::fread(head, 1, sizeof head, file_);
    if (got == 0 && std::feof(file_) != 0) {
        return Result::End;
    }
    if (got < sizeof head) {
        return fail("truncated pcapng dump file; tried to read 8 bytes, only got " + std::to_string(got));
    }
    type = raw32(head);
    std::size_t bodyStart = 0;
    if (type == kSectionHeaderType) {
        // A new section may change the byte order, which its magic number tells.
        body_.resize(4);
        if (std::fread(body_.data(), 1, 4, file_) != 4) {
            return fail("truncated pcapng dump file in a section header block");
        }
        const std::uint32_t magic = raw32(body_.data());
        if (magic != kByteOrderMagic && magic != kSwappedByteOrderMagic) {
            return fail("the section header block has an unknown byte-order magic number");
        }
        swapped_ = magic == kSwappedByteOrderMagic;
        bodyStart = 4;
    } else if (swapped_) {
        type = __builtin_bswap32(type);
    }
    std::uint32_t length = raw32(head + 4);
    length = swapped_ ? __builtin_bswap32(length) : length;
    if (length < kBlockFrameBytes + bodyStart || length % 4 != 0 || length > kMostBlockBytes) {
        return fail("block in pcapng dump file has a length of " + std::to_string(length) +
                    ", not a multiple of 4 between " + std::to_string(kBlockFrameBytes + bodyStart) +
                    " and " + std::to_string(kMostBlockBytes));
    }
    const std::size_t rest = length - sizeof head - bodyStart;
    body_.resize(bodyStart + rest);
    if (std::fread(body_.data() + bodyStart, 1, rest, file_) != rest) {
        return fail("truncated pcapng dump file; a block of " + std::to_string(length) + " bytes ends early");
    }
    if (read32(body_.size() - 4) != length) {
        return fail("block total length in header and trailer don't match");
    }
    body_.resize(body_.size() - 4);
    return Result::Frame;
}

bool PcapngReader::readSectionHeader() {
    if (body_.size() < kSectionHeaderBytes) {
        error_ = "the section header block is too short";
        return false;
    }
    const std::uint16_t major = read16(4);
    const std::uint16_t minor = read16(6);
    if (major != 1) {
        error_ = "unsupported pcapng version " + std::to_string(major) + "." + std::to_string(minor);
        return false;
    }
    interfaces_.clear();
    return true;
}

bool PcapngReader::readInterface() {
    if (body_.size() < kInterfaceBytes) {
        error_ = "an interface description block is too short";
        return false;
    }
    Interface interface;
    interface.linkType = libraryLinkType(read16(0));
    interface.snapLength = read32(4);
    for (std::size_t at = kInterfaceBytes; at + 4 <= body_.size();) {
        const std::uint16_t code = read16(at);
        const std::uint16_t length = read16(at + 2);
        if (code == kEndOfOptions) {
            break;
        }
        if (length > body_.size() - at - 4) {
            error_ = "an interface description block's option runs past the block";
            return false;
        }
        const unsigned char* value = body_.data() + at + 4;
        if (code == kOptionResolution && length >= 1) {
            // 10 to the minus value, or 2 to the minus value's low 7 bits when its high bit is set.
            const unsigned exponent = value[0] & 0x7FU;
            const bool binary = (value[0] & 0x80U) != 0;
            if (exponent > (binary ? 63U : 19U)) {
                error_ = "an interface's time stamp resolution is too fine";
                return false;
            }
            interface.unitsPerSecond = 1;
            for (unsigned step = 0; step < exponent; ++step) {
                interface.unitsPerSecond *= binary ? 2 : 10;
            }
        } else if (code == kOptionOffset && length >= 8) {
            std::uint64_t offset = 0;
            std::memcpy(&offset, value, sizeof offset);
            interface.offsetSeconds =
                static_cast<std::int64_t>(swapped_ ? __builtin_bswap64(offset) : offset);
        }
        at += 4 + (std::size_t{length} + 3) / 4 * 4;
    }
    interfaces_.push_back(interface);
    if (std::find(linkTypes_.begin(), linkTypes_.end(), interface.linkType) == linkTypes_.end()) {
        linkTypes_.push_back(interface.linkType);
    }
    return true;
}

bool PcapngReader::takePacket(std::uint32_t type) {
    std::uint32_t interfaceId = 0;
    std::uint64_t stamp = 0;
    std::uint32_t captured = 0;
    std::uint32_t wire = 0;
    std::size_t dataOffset = kPacketBytes;
    if (type == kSimplePacketType) {
        if (body_.size() < kSimplePacketBytes) {
            error_ = "a simple packet block is too short";
            return false;
        }
        wire = read32(0);
        dataOffset = kSimplePacketBytes;
        captured = static_cast<std::uint32_t>(std::min<std::size_t>(wire, body_.size() - dataOffset));
    } else {
        if (body_.size() < kPacketBytes) {
            error_ = "a packet block is too short";
            return false;
        }
        interfaceId = type == kObsoletePacketType ? read16(0) : read32(0);
        stamp = std::uint64_t{read32(4)} << 32 | read32(8);
        captured = read32(12);
        wire = read32(16);
        if (captured > body_.size() - dataOffset) {
            error_ = "a packet block's captured length " + std::to_string(captured) + " runs past the block";
            return false;
        }
    }
    if (interfaceId >= interfaces_.size()) {
        error_ = "a packet arrived on interface " + std::to_string(interfaceId) +
                 ", but there's no Interface Description Block for that interface";
        return false;
    }
    const Interface& interface = interfaces_[interfaceId];
    const std::uint32_t snapLength = interface.snapLength != 0 ? interface.snapLength : kDefaultSnapLength;
    if (type == kSimplePacketType) {
        captured = std::min(captured, snapLength);
    } else if (captured > snapLength) {
        error_ = "invalid packet capture length " + std::to_string(captured) + ", bigger than snaplen of " +
                 std::to_string(snapLength);
        return false;
    }
    const std::uint64_t seconds = stamp / interface.unitsPerSecond;
    const std::uint64_t fraction = stamp % interface.unitsPerSecond;
    const auto micros =
        static_cast<std::uint64_t>(static_cast<Wide>(fraction) * kMicrosPerSecond / interface.unitsPerSecond);
    // Seconds that no time stamp can hold are brought to the largest one, which the loader refuses.
    constexpr auto kMostSeconds = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) << 16;
    const auto shifted =
        static_cast<std::int64_t>(std::min(seconds, kMostSeconds)) +
        std::clamp<std::int64_t>(interface.offsetSeconds, -(std::int64_t{1} << 46), std::int64_t{1} << 46);
    header_.ts.tv_sec = static_cast<time_t>(shifted);
    header_.ts.tv_usec = static_cast<suseconds_t>(micros);
    header_.caplen = captured;
    header_.len = wire;
    data_ = body_.data() + dataOffset;
    linkType_ = interface.linkType;
    return true;
}

PcapngReader::Result PcapngReader::next() {
    std::uint32_t type = 0;
    if (pending_) {
        if (pendingResult_ != Result::Frame) {
            return pendingResult_;
        }
        pending_ = false;
        type = pendingType_;
    } else {
        for (;;) {
            const Result result = readBlock(type);
            if (result != Result::Frame) {
                return result;
            }
            if (type == kEnhancedPacketType || type == kSimplePacketType || type == kObsoletePacketType) {
                break;
            }
            if ((type == kSectionHeaderType && !readSectionHeader()) ||
                (type == kInterfaceType && !readInterface())) {
                return Result::Error;
            }
        }
    }
    return takePacket(type) ? Result::Frame : Result::Error;
}

}  // namespace korvo::measurement
