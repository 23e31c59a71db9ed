#include "support/LinkFraming.h"

#include <algorithm>
#include <stdexcept>

namespace korvo::e2e {

namespace {

constexpr std::size_t kEthernetLength = 14;
constexpr std::size_t kTypeOffset = 12;
constexpr std::size_t kTagLength = 4;
constexpr std::uint8_t kPacketFromUs = 4;
constexpr std::uint16_t kArpHardwareEthernet = 1;
constexpr std::uint32_t kFamilyIPv4 = 2;

void appendBigEndian16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes.push_back(static_cast<std::uint8_t>(value));
}

void appendFamily(std::vector<std::uint8_t>& bytes, std::uint32_t family, bool bigEndian) {
    for (int index = 0; index < 4; ++index) {
        const int shift = bigEndian ? 8 * (3 - index) : 8 * index;
        bytes.push_back(static_cast<std::uint8_t>(family >> shift));
    }
}

}  // namespace

std::vector<LinkType> LinkFraming::decodedLinkTypes() {
    return {{kLinuxCooked, "LinuxCooked"},
            {kLinuxCooked2, "LinuxCooked2"},
            {kRawOpenBsd, "RawOpenBsd"},
            {kRawBsdOs, "RawBsdOs"},
            {kRaw, "Raw"},
            {kIPv4, "IPv4"},
            {kNull, "NullLittleEndian"},
            {kNull, "NullBigEndian", true},
            {kLoop, "Loop"}};
}

std::vector<LinkType> LinkFraming::ipv6LinkTypes() {
    return {{kLinuxCooked, "LinuxCooked"},
            {kLinuxCooked2, "LinuxCooked2"},
            {kRawOpenBsd, "RawOpenBsd"},
            {kRawBsdOs, "RawBsdOs"},
            {kRaw, "Raw"},
            {kIPv6, "IPv6"},
            {kNull, "NullLittleEndianNetBsd"},
            {kNull, "NullBigEndianFreeBsd", true, 28},
            {kNull, "NullLittleEndianDarwin", false, 30},
            {kLoop, "Loop"}};
}

std::vector<std::uint8_t> LinkFraming::reframe(const std::vector<std::uint8_t>& ethernetFrame,
                                               const LinkType& linkType) {
    if (ethernetFrame.size() < kEthernetLength) {
        throw std::invalid_argument("an Ethernet frame has at least 14 bytes");
    }
    const auto typeAndPayload = ethernetFrame.begin() + kTypeOffset;
    const auto source = ethernetFrame.begin() + 6;
    const bool tagged = ethernetFrame[kTypeOffset] == 0x81 && ethernetFrame[kTypeOffset + 1] == 0x00;
    const std::size_t ipOffset = std::min(ethernetFrame.size(), kEthernetLength + (tagged ? kTagLength : 0));
    const std::size_t etherTypeOffset = ipOffset - 2;
    const bool ipv6 = ethernetFrame.size() >= ipOffset && ethernetFrame[etherTypeOffset] == 0x86 &&
                      ethernetFrame[etherTypeOffset + 1] == 0xDD;
    const auto ipHeader = ethernetFrame.begin() + static_cast<std::ptrdiff_t>(ipOffset);
    std::vector<std::uint8_t> frame;
    switch (linkType.number) {
        case kEthernet:
            return ethernetFrame;
        case kLinuxCooked:
            // Packet type, ARP hardware type, address length, the sender's address padded to 8 bytes.
            appendBigEndian16(frame, kPacketFromUs);
            appendBigEndian16(frame, kArpHardwareEthernet);
            appendBigEndian16(frame, 6);
            frame.insert(frame.end(), source, source + 6);
            frame.insert(frame.end(), 2, 0);
            frame.insert(frame.end(), typeAndPayload, ethernetFrame.end());
            return frame;
        case kLinuxCooked2: {
            // Protocol, reserved, interface index, ARP hardware type, packet type, address length, address.
            frame.insert(frame.end(), typeAndPayload, typeAndPayload + 2);
            frame.insert(frame.end(), {0, 0, 0, 0, 0, 1});
            appendBigEndian16(frame, kArpHardwareEthernet);
            frame.insert(frame.end(), {kPacketFromUs, 6});
            frame.insert(frame.end(), source, source + 6);
            frame.insert(frame.end(), 2, 0);
            frame.insert(frame.end(), typeAndPayload + 2, ethernetFrame.end());
            return frame;
        }
        case kRawOpenBsd:
        case kRawBsdOs:
        case kRaw:
        case kIPv4:
        case kIPv6:
            frame.insert(frame.end(), ipHeader, ethernetFrame.end());
            return frame;
        case kNull:
        case kLoop:
            appendFamily(frame, ipv6 ? linkType.ipv6Family : kFamilyIPv4,
                         linkType.bigEndianFamily || linkType.number == kLoop);
            frame.insert(frame.end(), ipHeader, ethernetFrame.end());
            return frame;
        default:
            throw std::invalid_argument("no framing for link type " + std::to_string(linkType.number));
    }
}

}  // namespace korvo::e2e
