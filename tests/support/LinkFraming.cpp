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
// An LLC/SNAP header for the EtherType that follows it.
constexpr std::uint8_t kSnap[] = {0xAA, 0xAA, 0x03, 0, 0, 0};
// An 802.11 data frame from the distribution system, and a QoS data frame to it: frame control, duration,
// three addresses and the sequence control.
constexpr std::uint8_t kWirelessData[] = {0x08, 0x02, 0, 0, 2, 0, 0, 0, 0, 1, 2,    0,
                                          0,    0,    0, 2, 2, 0, 0, 0, 0, 3, 0x10, 0};
constexpr std::uint8_t kWirelessQosData[] = {0x88, 0x01, 0, 0, 2, 0, 0, 0, 0, 1, 2,    0,
                                             0,    0,    0, 2, 2, 0, 0, 0, 0, 3, 0x10, 0};

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

// The link types with a header of their own before the packet, for IPv4 and IPv6 alike.
std::vector<LinkType> ownHeaderLinkTypes() {
    return {{LinkFraming::kPpp, "Ppp"},
            {LinkFraming::kPpp, "PppCompressed", false, 24, true},
            {LinkFraming::kPppSerial, "PppSerial"},
            {LinkFraming::kCiscoHdlc, "CiscoHdlc"},
            {LinkFraming::kFddi, "Fddi"},
            {LinkFraming::kIeee80211, "Ieee80211"},
            {LinkFraming::kRadiotap, "Radiotap"},
            {LinkFraming::kPpi, "Ppi"},
            {LinkFraming::kNflog, "Nflog"}};
}

std::vector<LinkType> LinkFraming::decodedLinkTypes() {
    std::vector<LinkType> linkTypes = ownHeaderLinkTypes();
    linkTypes.insert(linkTypes.begin(), {{kLinuxCooked, "LinuxCooked"},
                                         {kLinuxCooked2, "LinuxCooked2"},
                                         {kRawOpenBsd, "RawOpenBsd"},
                                         {kRawBsdOs, "RawBsdOs"},
                                         {kRaw, "Raw"},
                                         {kIPv4, "IPv4"},
                                         {kNull, "NullLittleEndian"},
                                         {kNull, "NullBigEndian", true},
                                         {kLoop, "Loop"}});
    return linkTypes;
}

std::vector<LinkType> LinkFraming::ipv6LinkTypes() {
    std::vector<LinkType> linkTypes = ownHeaderLinkTypes();
    linkTypes.insert(linkTypes.begin(), {{kLinuxCooked, "LinuxCooked"},
                                         {kLinuxCooked2, "LinuxCooked2"},
                                         {kRawOpenBsd, "RawOpenBsd"},
                                         {kRawBsdOs, "RawBsdOs"},
                                         {kRaw, "Raw"},
                                         {kIPv6, "IPv6"},
                                         {kNull, "NullLittleEndianNetBsd"},
                                         {kNull, "NullBigEndianFreeBsd", true, 28},
                                         {kNull, "NullLittleEndianDarwin", false, 30},
                                         {kLoop, "Loop"}});
    return linkTypes;
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
        case kPpp:
        case kPppSerial: {
            const std::uint16_t protocol = ipv6 ? 0x0057 : 0x0021;
            if (linkType.compressedPpp) {
                frame.push_back(static_cast<std::uint8_t>(protocol));
            } else {
                frame.insert(frame.end(), {0xFF, 0x03});
                appendBigEndian16(frame, protocol);
            }
            frame.insert(frame.end(), ipHeader, ethernetFrame.end());
            return frame;
        }
        case kCiscoHdlc:
            frame.insert(frame.end(), {0x0F, 0x00});
            frame.insert(frame.end(), typeAndPayload, ethernetFrame.end());
            return frame;
        case kFddi:
            // Frame control (asynchronous LLC), destination and source address.
            frame.push_back(0x50);
            frame.insert(frame.end(), ethernetFrame.begin(), ethernetFrame.begin() + 12);
            frame.insert(frame.end(), std::begin(kSnap), std::end(kSnap));
            frame.insert(frame.end(), typeAndPayload, ethernetFrame.end());
            return frame;
        case kIeee80211:
        case kPpi:
            if (linkType.number == kPpi) {
                // Version, flags, the header's length and the link type behind it, little endian.
                frame.insert(frame.end(), {0, 0, 8, 0, DLT_IEEE802_11, 0, 0, 0});
            }
            frame.insert(frame.end(), std::begin(kWirelessData), std::end(kWirelessData));
            frame.insert(frame.end(), std::begin(kSnap), std::end(kSnap));
            frame.insert(frame.end(), typeAndPayload, ethernetFrame.end());
            return frame;
        case kRadiotap:
            // Version, padding, length 17, the TSFT and flags present; the time stamp, then the flags: the
            // 802.11 header is padded to a multiple of 4 bytes, so the 26 bytes of a QoS data header to 28.
            frame.insert(frame.end(), {0, 0, 17, 0, 0x03, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0x20});
            frame.insert(frame.end(), std::begin(kWirelessQosData), std::end(kWirelessQosData));
            frame.insert(frame.end(), {0, 0, 0, 0});
            frame.insert(frame.end(), std::begin(kSnap), std::end(kSnap));
            frame.insert(frame.end(), typeAndPayload, ethernetFrame.end());
            return frame;
        case kNflog: {
            // Family, version, resource id; a packet header attribute, then the payload attribute, whose
            // lengths and types are little endian; padded to 4 bytes.
            frame.insert(frame.end(), {static_cast<std::uint8_t>(ipv6 ? 10 : 2), 0, 0, 0});
            frame.insert(frame.end(), {8, 0, 1, 0, 0x08, 0x00, 3, 0});
            const auto payloadLength = static_cast<std::uint16_t>(4 + (ethernetFrame.end() - ipHeader));
            frame.insert(frame.end(), {static_cast<std::uint8_t>(payloadLength),
                                       static_cast<std::uint8_t>(payloadLength >> 8), 9, 0});
            frame.insert(frame.end(), ipHeader, ethernetFrame.end());
            frame.resize((frame.size() + 3) / 4 * 4);
            return frame;
        }
        default:
            throw std::invalid_argument("no framing for link type " + std::to_string(linkType.number));
    }
}

}  // namespace korvo::e2e
