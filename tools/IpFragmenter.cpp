#include "tools/IpFragmenter.h"

#include <algorithm>

namespace korvo::tools {

namespace {

constexpr std::size_t kEthernetLength = 14;
constexpr std::size_t kIpv6Length = 40;
constexpr std::uint8_t kIpv6Fragment = 44;

void put16(std::uint8_t* bytes, std::size_t value) {
    bytes[0] = static_cast<std::uint8_t>(value >> 8);
    bytes[1] = static_cast<std::uint8_t>(value);
}

}  // namespace

std::vector<IpFragmenter::Frame> IpFragmenter::fragment(const Frame& frame, std::size_t payloadBytes,
                                                        std::uint32_t identification) {
    if (frame.size() <= kEthernetLength + kIpv6Length || payloadBytes == 0 || payloadBytes % 8 != 0) {
        return {frame};
    }
    const bool ipv4 = frame[12] == 0x08 && frame[13] == 0x00 && frame[kEthernetLength] >> 4 == 4;
    const bool ipv6 = frame[12] == 0x86 && frame[13] == 0xDD && frame[kEthernetLength] >> 4 == 6;
    if (!ipv4 && !ipv6) {
        return {frame};
    }
    const std::size_t headerLength = ipv4 ? 4U * (frame[kEthernetLength] & 0x0F) : kIpv6Length;
    const auto payload = frame.begin() + static_cast<std::ptrdiff_t>(kEthernetLength + headerLength);
    const auto payloadLength = static_cast<std::size_t>(frame.end() - payload);
    std::vector<Frame> fragments;
    for (std::size_t offset = 0; offset < payloadLength; offset += payloadBytes) {
        const std::size_t length = std::min(payloadBytes, payloadLength - offset);
        const bool more = offset + length < payloadLength;
        Frame piece(frame.begin(), payload);
        std::uint8_t* header = piece.data() + kEthernetLength;
        if (ipv4) {
            put16(header + 2, headerLength + length);
            put16(header + 4, identification & 0xFFFF);
            put16(header + 6, (more ? 0x2000 : 0) | offset / 8);
        } else {
            // The fragment header takes the place of the payload's first header.
            const std::uint8_t next = header[6];
            header[6] = kIpv6Fragment;
            put16(header + 4, 8 + length);
            piece.insert(piece.end(), {next, 0, 0, 0, 0, 0, 0, 0});
            std::uint8_t* fragmentHeader = piece.data() + kEthernetLength + kIpv6Length;
            put16(fragmentHeader + 2, offset | (more ? 1 : 0));
            put16(fragmentHeader + 4, identification >> 16);
            put16(fragmentHeader + 6, identification & 0xFFFF);
        }
        piece.insert(piece.end(), payload + static_cast<std::ptrdiff_t>(offset),
                     payload + static_cast<std::ptrdiff_t>(offset + length));
        fragments.push_back(std::move(piece));
    }
    return fragments;
}

}  // namespace korvo::tools
