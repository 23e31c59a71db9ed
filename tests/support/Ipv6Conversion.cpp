#include "support/Ipv6Conversion.h"

#include <algorithm>
#include <optional>

namespace korvo::e2e {

namespace {

constexpr std::size_t kEthernetLength = 14;
constexpr std::size_t kTagLength = 4;
constexpr unsigned kIpv4Length = 20;
constexpr std::size_t kIpv6Length = 40;
constexpr std::uint32_t kGrowth = 20;

// Where the IPv4 header of a frame lies, when the frame is one that is rewritten.
std::optional<std::size_t> ipv4TcpOffset(const std::vector<std::uint8_t>& frame) {
    if (frame.size() < kEthernetLength) {
        return std::nullopt;
    }
    std::size_t typeOffset = kEthernetLength - 2;
    if (frame[typeOffset] == 0x81 && frame[typeOffset + 1] == 0x00) {
        typeOffset += kTagLength;
    }
    const std::size_t ipOffset = typeOffset + 2;
    if (frame.size() < ipOffset + kIpv4Length || frame[typeOffset] != 0x08 || frame[typeOffset + 1] != 0x00) {
        return std::nullopt;
    }
    const std::uint8_t* ip = frame.data() + ipOffset;
    const bool fragment = (ip[6] & 0x3F) != 0 || ip[7] != 0;
    if (ip[0] != 0x45 || ip[9] != 6 || fragment) {
        return std::nullopt;
    }
    return ipOffset;
}

}  // namespace

Ipv6Conversion::Frame Ipv6Conversion::withIpv4Options(const Frame& frame) {
    const std::optional<std::size_t> ipOffset = ipv4TcpOffset(frame.captured);
    if (!ipOffset) {
        return frame;
    }
    Frame rewritten = frame;
    std::vector<std::uint8_t>& bytes = rewritten.captured;
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(*ipOffset + kIpv4Length), kGrowth, 0);
    std::uint8_t* ip = bytes.data() + *ipOffset;
    ip[0] = 0x4A;
    const unsigned totalLength = unsigned{ip[2]} << 8 | ip[3];
    if (totalLength != 0) {
        ip[2] = static_cast<std::uint8_t>((totalLength + kGrowth) >> 8);
        ip[3] = static_cast<std::uint8_t>(totalLength + kGrowth);
    }
    rewritten.wireLength += kGrowth;
    return rewritten;
}

Ipv6Conversion::Frame Ipv6Conversion::overIpv6(const Frame& frame) {
    const std::optional<std::size_t> ipOffset = ipv4TcpOffset(frame.captured);
    if (!ipOffset) {
        return frame;
    }
    const std::uint8_t* ip = frame.captured.data() + *ipOffset;
    const unsigned totalLength = unsigned{ip[2]} << 8 | ip[3];
    const unsigned payloadLength = totalLength > kIpv4Length ? totalLength - kIpv4Length : 0;
    std::vector<std::uint8_t> header(kIpv6Length, 0);
    header[0] = 0x60;
    header[4] = static_cast<std::uint8_t>(payloadLength >> 8);
    header[5] = static_cast<std::uint8_t>(payloadLength);
    header[6] = ip[9];
    header[7] = ip[8];
    for (const std::size_t address : {std::size_t{8}, std::size_t{24}}) {
        header[address + 10] = 0xFF;
        header[address + 11] = 0xFF;
        std::copy_n(ip + (address == 8 ? 12 : 16), 4,
                    header.begin() + static_cast<std::ptrdiff_t>(address + 12));
    }
    // The link header up to its EtherType, the IPv6 EtherType, the IPv6 header, then the rest.
    Frame rewritten;
    rewritten.captured.assign(frame.captured.begin(),
                              frame.captured.begin() + static_cast<std::ptrdiff_t>(*ipOffset - 2));
    rewritten.captured.insert(rewritten.captured.end(), {0x86, 0xDD});
    rewritten.captured.insert(rewritten.captured.end(), header.begin(), header.end());
    rewritten.captured.insert(rewritten.captured.end(),
                              frame.captured.begin() + static_cast<std::ptrdiff_t>(*ipOffset + kIpv4Length),
                              frame.captured.end());
    rewritten.wireLength = frame.wireLength + kGrowth;
    return rewritten;
}

}  // namespace korvo::e2e
