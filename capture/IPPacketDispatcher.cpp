#include "capture/IPPacketDispatcher.h"

#include <algorithm>
#include <limits>

#include "capture/Ipv6HeaderChain.h"
#include "figure/TimeText.h"
#include "net/WireNumbers.h"

namespace korvo::measurement {

using net::ip;
using net::ip6;

IPPacketDispatcher::IPPacketDispatcher(EthernetSignal& ethernetSignal) : EnetPacketHandler(ethernetSignal) {}

void IPPacketDispatcher::handlePacket(const EthernetPacket& packet) {
    if (packet.linkType != linkType_) {
        linkType_ = packet.linkType;
        linkLayer_ = LinkLayer(linkType_);
        linkDecoded_ = LinkLayer::decodes(linkType_, ipv6_);
    }
    const auto* frame = reinterpret_cast<const unsigned char*>(packet.header);
    const LinkLayer::Found found = linkLayer_.find(frame, packet.capturedLength);
    if (found.carried == LinkLayer::Carried::Unreadable || found.carried == LinkLayer::Carried::CutShort) {
        ++(found.carried == LinkLayer::Carried::Unreadable ? coverage_.unreadable80211
                                                           : coverage_.linkHeaderCutShort);
        return;
    }
    if (tunnels_ && !TunnelDecoder::endsAtFirstPacket(frame, packet.capturedLength, found)) {
        followTunnels(packet);
        return;
    }
    if (found.carried != LinkLayer::Carried::IPv4) {
        if (found.carried == LinkLayer::Carried::IPv6 && ipv6_) {
            handleIpv6(packet, found.ipOffset);
            return;
        }
        coverage_.leftOutIpv6 += found.carried == LinkLayer::Carried::IPv6 ? 1U : 0U;
        if (found.carried == LinkLayer::Carried::Encapsulated) {
            ++coverage_.leftOutEncapsulated;
            coverage_.leftOutBehindStackedTags +=
                TunnelDecoder::isTag(linkLayer_.start(frame, packet.capturedLength).type) ? 1U : 0U;
        }
        coverage_.otherLinkTypes += found.carried == LinkLayer::Carried::Other && !linkDecoded_ ? 1U : 0U;
        return;
    }
    if (packet.capturedLength < found.ipOffset + ip::kFixedLength) {
        return;
    }
    if (frame[found.ipOffset] >> 4 != 4) {
        ++coverage_.malformedIp;
        return;
    }
    ++coverage_.ipv4;
    const IPPacket ipPacket = packet.lift<ip>(found.ipOffset);
    if (ipPacket.header->isFragment()) {
        fragmentSource.signal(ipPacket);
        takeFragment(ipPacket);
        return;
    }
    if (tunnels_) {
        outermost_.signal(ipPacket);
    }
    signal(ipPacket);
    const std::uint32_t headerLength = ipPacket.header->headerLength();
    if (ipPacket.header->protocol != ip::kProtocolTcp && headerLength >= ip::kFixedLength &&
        headerLength <= ipPacket.capturedLength) {
        const auto* payload = reinterpret_cast<const unsigned char*>(ipPacket.header) + headerLength;
        coverage_.leftOutEncapsulated += TunnelDecoder::opensTunnel(ipPacket.header->protocol, payload,
                                                                    ipPacket.capturedLength - headerLength)
                                             ? 1U
                                             : 0U;
    }
}

IPv6Packet IPPacketDispatcher::liftIpv6(const EthernetPacket& packet, std::uint32_t ipOffset) {
    const PacketHeaderWrapper<const ip6*> lifted = packet.lift<ip6>(ipOffset);
    const Ipv6HeaderChain::Walk walk =
        Ipv6HeaderChain::walk(reinterpret_cast<const unsigned char*>(lifted.header), lifted.capturedLength);
    std::uint32_t length = lifted.header->payloadLengthHost();
    if (length == 0) {
        length = walk.jumboPayloadLength;
    }
    // No packet is longer than the frame's wire bytes behind the headers before it.
    const std::uint32_t onTheWire = packet.length > ipOffset ? packet.length - ipOffset : 0;
    if (length != 0) {
        length = std::min(std::min(length, std::numeric_limits<std::uint32_t>::max() - ip6::kFixedLength) +
                              ip6::kFixedLength,
                          onTheWire);
    } else {
        length = onTheWire;
    }
    return IPv6Packet{lifted, walk.transportProtocol, walk.reached, walk.transportOffset,
                      length, walk.fragment};
}

void IPPacketDispatcher::handleIpv6(const EthernetPacket& packet, std::uint32_t ipOffset) {
    if (packet.capturedLength < ipOffset || packet.capturedLength - ipOffset < ip6::kFixedLength) {
        return;
    }
    if (reinterpret_cast<const unsigned char*>(packet.header)[ipOffset] >> 4 != 6) {
        ++coverage_.malformedIp;
        return;
    }
    const IPv6Packet ipv6Packet = liftIpv6(packet, ipOffset);
    if (ipv6Packet.fragment) {
        ++coverage_.ipv6;
        fragmentSource.ipv6Signal(ipv6Packet);
        takeFragment(ipv6Packet);
        return;
    }
    ++coverage_.ipv6;
    ipv6Signal(ipv6Packet);
    if (ipv6Packet.reached && ipv6Packet.transportProtocol != ip::kProtocolTcp) {
        const auto* payload =
            reinterpret_cast<const unsigned char*>(ipv6Packet.header) + ipv6Packet.transportOffset;
        coverage_.leftOutEncapsulated +=
            TunnelDecoder::opensTunnel(ipv6Packet.transportProtocol, payload,
                                       ipv6Packet.capturedLength - ipv6Packet.transportOffset)
                ? 1U
                : 0U;
    }
}

void IPPacketDispatcher::countAnalysed(const TunnelDecoder::Path& path, bool ipv6) {
    ++(ipv6 ? coverage_.ipv6 : coverage_.ipv4);
    if (path.encapsulations != 0) {
        ++(path.tunnelled ? coverage_.insideTunnels : coverage_.behindStackedTags);
    }
}

void IPPacketDispatcher::followTunnels(const EthernetPacket& packet) {
    const auto* frame = reinterpret_cast<const unsigned char*>(packet.header);
    const TunnelDecoder::Path path =
        TunnelDecoder::follow(frame, packet.capturedLength, linkLayer_.start(frame, packet.capturedLength));
    coverage_.tunnelsCutShort += path.damaged ? 1U : 0U;
    coverage_.malformedIp += path.malformed ? 1U : 0U;
    const bool oneIpPacket = path.innermost == path.outermost;
    switch (path.outermost.version) {
        case TunnelDecoder::Version::IPv4: {
            const IPPacket outer = packet.lift<ip>(path.outermost.offset);
            if (outer.header->isFragment()) {
                countAnalysed(path, false);
                fragmentSource.signal(outer);
                takeFragment(outer);
                return;
            }
            outermost_.signal(outer);
            if (oneIpPacket) {
                countAnalysed(path, false);
                signal(outer);
                return;
            }
            break;
        }
        case TunnelDecoder::Version::IPv6:
            if (ipv6_) {
                const IPv6Packet outer = liftIpv6(packet, path.outermost.offset);
                if (outer.fragment) {
                    countAnalysed(path, true);
                    fragmentSource.ipv6Signal(outer);
                    takeFragment(outer);
                    return;
                }
                outermost_.ipv6Signal(outer);
                if (oneIpPacket) {
                    countAnalysed(path, true);
                    ipv6Signal(outer);
                    return;
                }
            }
            break;
        case TunnelDecoder::Version::None:
            coverage_.otherLinkTypes += linkDecoded_ ? 0U : 1U;
            return;
    }
    signalInnermost(packet, path, true);
}

void IPPacketDispatcher::signalInnermost(const EthernetPacket& packet, const TunnelDecoder::Path& path,
                                         bool countFrame) {
    switch (path.innermost.version) {
        case TunnelDecoder::Version::IPv4: {
            const IPPacket inner = packet.lift<ip>(path.innermost.offset);
            if (countFrame) {
                countAnalysed(path, false);
            }
            if (!inner.header->isFragment()) {
                signal(inner);
            }
            break;
        }
        case TunnelDecoder::Version::IPv6:
            if (!ipv6_) {
                coverage_.leftOutIpv6 += countFrame ? 1U : 0U;
                break;
            }
            if (countFrame) {
                countAnalysed(path, true);
            }
            if (const IPv6Packet inner = liftIpv6(packet, path.innermost.offset); !inner.fragment) {
                ipv6Signal(inner);
            }
            break;
        case TunnelDecoder::Version::None:
            break;
    }
}

void IPPacketDispatcher::takeFragment(const IPPacket& fragment) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(fragment.header);
    if (!tunnels_) {
        // Only the first fragment shows what the datagram carries.
        const std::uint32_t headerLength = fragment.header->headerLength();
        const bool first = (fragment.header->flagsAndFragmentOffsetHost() & ip::kFragmentOffsetMask) == 0;
        if (first && headerLength >= ip::kFixedLength && headerLength <= fragment.capturedLength &&
            TunnelDecoder::opensTunnel(fragment.header->protocol, bytes + headerLength,
                                       fragment.capturedLength - headerLength)) {
            ++coverage_.tunnelFragments;
        }
        return;
    }
    const std::optional<FragmentReassembly::Whole> whole =
        reassembly_.addIpv4(bytes, fragment.capturedLength, packetLength(fragment), fragment.length,
                            TimeText::microsSince1970(fragment.captureTime));
    if (whole) {
        followReassembled(*whole, fragment.packetNumber, fragment.captureTime, fragment.linkType, false);
    }
}

void IPPacketDispatcher::takeFragment(const IPv6Packet& fragment) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(fragment.header);
    // The walk stopped at the fragment header, whose 8 bytes it found captured.
    const std::uint32_t fragmentHeader = fragment.transportOffset;
    if (!tunnels_) {
        const bool first = (bytes[fragmentHeader + 2] << 8 | bytes[fragmentHeader + 3]) < 8;
        const std::uint32_t payload = fragmentHeader + 8;
        if (first && payload <= fragment.capturedLength &&
            TunnelDecoder::opensTunnel(bytes[fragmentHeader], bytes + payload,
                                       fragment.capturedLength - payload)) {
            ++coverage_.tunnelFragments;
        }
        return;
    }
    const std::optional<FragmentReassembly::Whole> whole =
        reassembly_.addIpv6(bytes, fragment.capturedLength, fragment.datagramLength, fragmentHeader,
                            fragment.length, TimeText::microsSince1970(fragment.captureTime));
    if (whole) {
        followReassembled(*whole, fragment.packetNumber, fragment.captureTime, fragment.linkType, true);
    }
}

void IPPacketDispatcher::followReassembled(const FragmentReassembly::Whole& whole, std::uint64_t packetNumber,
                                           boost::posix_time::ptime captureTime, int linkType, bool ipv6) {
    // The whole packet stands for the frames its fragments came in: their wire bytes, and the number and
    // time of the frame that completed it. It is no packet on the wire, so the figures of the outermost
    // packet do not see it.
    const auto size = static_cast<std::uint32_t>(whole.packet.size());
    const EthernetPacket packet{
        reinterpret_cast<const net::ether_header*>(whole.packet.data()),
        static_cast<std::uint32_t>(std::min<std::uint64_t>(whole.wireBytes, UINT32_MAX)),
        size,
        packetNumber,
        captureTime,
        0,
        linkType};
    const LinkLayer::Start start{true, ipv6 ? net::etherType::kIPv6 : net::etherType::kIPv4, 0};
    const TunnelDecoder::Path path = TunnelDecoder::follow(whole.packet.data(), size, start);
    coverage_.tunnelsCutShort += path.damaged ? 1U : 0U;
    coverage_.malformedIp += path.malformed ? 1U : 0U;
    if (!(path.innermost == path.outermost)) {
        signalInnermost(packet, path, false);
    }
}

FrameCoverage IPPacketDispatcher::coverage() const {
    FrameCoverage counts = coverage_;
    counts.incompleteTunnelPackets = reassembly_.incomplete();
    return counts;
}

}  // namespace korvo::measurement
