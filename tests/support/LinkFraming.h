#pragma once
// Rewrites an Ethernet frame as the same traffic under another link type: the Ethernet header (and, for the
// link types that carry no EtherType, an 802.1Q tag) is replaced by that link type's header. Lets one set of
// frames be written as a capture of every link type that the tool decodes.

#include <cstdint>
#include <string>
#include <vector>

namespace korvo::e2e {

struct LinkType {
    std::uint32_t number;
    std::string name;
    // For NULL, whose family field is in the writing host's byte order.
    bool bigEndianFamily = false;
};

class LinkFraming {
public:
    static constexpr std::uint32_t kNull = 0;
    static constexpr std::uint32_t kEthernet = 1;
    static constexpr std::uint32_t kRawOpenBsd = 12;
    static constexpr std::uint32_t kRawBsdOs = 14;
    static constexpr std::uint32_t kRaw = 101;
    static constexpr std::uint32_t kLoop = 108;
    static constexpr std::uint32_t kLinuxCooked = 113;
    static constexpr std::uint32_t kIPv4 = 228;
    static constexpr std::uint32_t kLinuxCooked2 = 276;

    // Every link type whose frames are lifted to IPv4; NULL appears twice, once per byte order.
    static std::vector<LinkType> decodedLinkTypes();

    // `ethernetFrame` (at least its 14-byte header) as a frame of `linkType`.
    static std::vector<std::uint8_t> reframe(const std::vector<std::uint8_t>& ethernetFrame,
                                             const LinkType& linkType);
};

}  // namespace korvo::e2e
