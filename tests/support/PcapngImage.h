#pragma once
// Lays out a pcapng file in memory, little-endian, block by block: a section header, interface descriptions
// with the time stamp options that decide how the capture library converts time stamps, and packet blocks.
// The capture library reads this format too, so damaged or extreme time stamps can reach the tool through it.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace korvo::e2e {

class PcapngImage {
public:
    // Starts the file with its section header block.
    PcapngImage();

    // An interface description, Ethernet with no snap length unless told otherwise. `resolution` is the
    // if_tsresol byte (units of 10^-n seconds, or 2^-n with the top bit set; six when absent);
    // `offsetSeconds` is if_tsoffset, added to every time stamp.
    PcapngImage& interface(std::optional<std::uint8_t> resolution = std::nullopt,
                           std::optional<std::int64_t> offsetSeconds = std::nullopt,
                           std::uint16_t linkType = 1, std::uint32_t snapLength = 0);
    // An enhanced packet block on interface `interfaceId`, its time stamp in the interface's units.
    PcapngImage& packet(std::uint64_t timestamp, std::span<const std::uint8_t> captured,
                        std::uint32_t wireLength, std::uint32_t interfaceId = 0);

    // A simple packet block: no interface number and no time stamp.
    PcapngImage& simplePacket(std::span<const std::uint8_t> captured, std::uint32_t wireLength);
    // Any block, as its type and body.
    PcapngImage& block(std::uint32_t type, const std::vector<std::uint8_t>& body);

    [[nodiscard]] const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    [[nodiscard]] std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace korvo::e2e
