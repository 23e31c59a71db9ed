#pragma once
// An IEEE 802.11 frame, bare or behind a radiotap or PPI header: whether it is a data frame with a body, and
// the EtherType that the body's LLC/SNAP header names. Management and control frames, data frames without a
// body and aggregated bodies carry no packet; protected (encrypted) bodies and 802.11 fragments of a larger
// body cannot be read. Nothing at or beyond the captured bytes is read.

#include <cstdint>

namespace korvo::measurement {

class WirelessFrame {
public:
    enum class Outcome : std::uint8_t { Payload, Unreadable, NoPayload, CutShort };

    struct Found {
        Outcome outcome = Outcome::NoPayload;
        // For a payload: the EtherType and where the packet it names starts, from the frame's first byte.
        std::uint16_t type = 0;
        std::uint32_t offset = 0;
    };

    // The 802.11 header starts at `at`; `padded`: a radio header said that the header is padded to a
    // multiple of 4 bytes.
    [[nodiscard]] static Found find(const unsigned char* frame, std::uint32_t capturedLength,
                                    std::uint32_t at, bool padded = false);
    // The frame starts with a radiotap header.
    [[nodiscard]] static Found behindRadiotap(const unsigned char* frame, std::uint32_t capturedLength);
    // The frame starts with a PPI header; only 802.11 behind it is decoded.
    [[nodiscard]] static Found behindPpi(const unsigned char* frame, std::uint32_t capturedLength);
};

}  // namespace korvo::measurement
