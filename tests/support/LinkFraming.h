#pragma once
// Rewrites an Ethernet frame as the same traffic under another link type: the Ethernet header (and, for the
// link types that carry no EtherType, an 802.1Q tag) is replaced by that link type's header. Lets one set of
// frames be written as a capture of every link type that the tool decodes.

#include <pcap/dlt.h>

#include <cstdint>
#include <string>
#include <vector>

#include "capture/LinkLayer.h"

namespace korvo::e2e {

struct LinkType {
    std::uint32_t number;
    std::string name;
    // For NULL, whose family field is in the writing host's byte order.
    bool bigEndianFamily = false;
    // For NULL and LOOP: the family that names IPv6, which differs between the systems that write them.
    std::uint32_t ipv6Family = 24;
    // For PPP: the address and control bytes left out and the protocol field compressed to one byte.
    bool compressedPpp = false;
};

class LinkFraming {
public:
    static constexpr std::uint32_t kNull = DLT_NULL;
    static constexpr std::uint32_t kEthernet = DLT_EN10MB;
    static constexpr std::uint32_t kRawOpenBsd = DLT_RAW;
    static constexpr std::uint32_t kRawBsdOs = measurement::LinkLayer::kBsdOsRaw;
    static constexpr std::uint32_t kRaw = measurement::LinkLayer::kLinktypeRaw;
    static constexpr std::uint32_t kLoop = DLT_LOOP;
    static constexpr std::uint32_t kLinuxCooked = DLT_LINUX_SLL;
    static constexpr std::uint32_t kIPv4 = DLT_IPV4;
    static constexpr std::uint32_t kLinuxCooked2 = DLT_LINUX_SLL2;
    static constexpr std::uint32_t kIPv6 = DLT_IPV6;
    static constexpr std::uint32_t kPpp = DLT_PPP;
    static constexpr std::uint32_t kPppSerial = DLT_PPP_SERIAL;
    static constexpr std::uint32_t kCiscoHdlc = DLT_C_HDLC;
    static constexpr std::uint32_t kFddi = DLT_FDDI;
    static constexpr std::uint32_t kIeee80211 = DLT_IEEE802_11;
    static constexpr std::uint32_t kRadiotap = DLT_IEEE802_11_RADIO;
    static constexpr std::uint32_t kPpi = DLT_PPI;
    static constexpr std::uint32_t kNflog = DLT_NFLOG;

    // Every link type whose frames are lifted to IPv4; NULL appears twice, once per byte order.
    static std::vector<LinkType> decodedLinkTypes();
    // Every link type that carries IPv6 besides Ethernet; NULL once per byte order and IPv6 family.
    static std::vector<LinkType> ipv6LinkTypes();

    // `ethernetFrame` (at least its 14-byte header) as a frame of `linkType`; under the IPv6 link type the
    // frame must carry IPv6.
    static std::vector<std::uint8_t> reframe(const std::vector<std::uint8_t>& ethernetFrame,
                                             const LinkType& linkType);
};

}  // namespace korvo::e2e
