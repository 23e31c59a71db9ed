#pragma once
// Reads a pcapng capture block by block from a stream: section headers in either byte order, interface
// descriptions (link type, snap length, time stamp resolution and offset), and enhanced, simple and obsolete
// packet blocks; every other block is skipped. Frames come as the capture library delivers them (time stamps
// in microseconds, captured lengths cut to the interface's snap length), but files whose interfaces differ
// in link type or snap length are read whole, each frame with its own interface's link type.

#include <pcap/pcap.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace korvo::measurement {

class PcapngReader {
public:
    // The first 4 bytes of a pcapng file (a section header block's type).
    static constexpr std::uint32_t kSectionHeaderType = 0x0A0D0D0A;

    enum class Result : std::uint8_t { Frame, End, Error };

    // Reads the first section header and the interface descriptions up to the first packet. Throws
    // std::runtime_error with the reason when `file` does not start as a pcapng capture.
    explicit PcapngReader(FILE* file);

    // Reads the next frame: its header and bytes stay valid until the next call.
    [[nodiscard]] Result next();
    [[nodiscard]] const pcap_pkthdr& header() const { return header_; }
    [[nodiscard]] const u_char* data() const { return data_; }
    // The link type of the last frame's interface.
    [[nodiscard]] int linkType() const { return linkType_; }
    // Why the last call gave Error.
    [[nodiscard]] const std::string& error() const { return error_; }
    // The link types of the interfaces described so far, each once, in the order of their descriptions.
    [[nodiscard]] const std::vector<int>& linkTypes() const { return linkTypes_; }

private:
    struct Interface {
        int linkType = 0;
        std::uint32_t snapLength = 0;
        // Time stamp units per second, and seconds added to every time stamp.
        std::uint64_t unitsPerSecond = 1'000'000;
        std::int64_t offsetSeconds = 0;
    };

    // Reads one block into `body_` (its type and length fields and trailing length stripped). End at a clean
    // end of the stream, Error for anything else that is not a whole block.
    [[nodiscard]] Result readBlock(std::uint32_t& type);
    [[nodiscard]] bool readSectionHeader();
    [[nodiscard]] bool readInterface();
    // Takes the packet in the packet block just read; false with the reason set when it is damaged.
    [[nodiscard]] bool takePacket(std::uint32_t type);
    [[nodiscard]] Result fail(std::string reason);

    [[nodiscard]] std::uint16_t read16(std::size_t offset) const;
    [[nodiscard]] std::uint32_t read32(std::size_t offset) const;

    FILE* file_;
    bool swapped_ = false;
    std::vector<unsigned char> body_;
    std::vector<Interface> interfaces_;
    std::vector<int> linkTypes_;
    // What the opening read last: a packet block, handed out by the first next(), or the end or damage that
    // every next() reports.
    bool pending_ = false;
    Result pendingResult_ = Result::Frame;
    std::uint32_t pendingType_ = 0;
    pcap_pkthdr header_{};
    const u_char* data_ = nullptr;
    int linkType_ = 0;
    std::string error_;
};

}  // namespace korvo::measurement
