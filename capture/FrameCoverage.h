#pragma once
// How many frames the IP dispatcher analysed, and how many it left out and why: the counts behind the
// coverage note and the JSON's coverage, as one value rather than a getter each.

#include <cstdint>

namespace korvo::measurement {

struct FrameCoverage {
    // Frames whose analysed packet (the innermost where tunnels are decoded, fragments too) is of that
    // version; of them, those reached through a tunnel, and through stacked VLAN tags alone.
    std::uint64_t ipv4 = 0;
    std::uint64_t ipv6 = 0;
    std::uint64_t insideTunnels = 0;
    std::uint64_t behindStackedTags = 0;
    // Frames of link types that are not decoded.
    std::uint64_t otherLinkTypes = 0;
    // Left out: carrying IPv6 that is not analysed; inside an encapsulation that is not decoded,
    // recognised by its first one, and those of them behind a second VLAN tag; inside tunnels cut short or
    // too deep.
    std::uint64_t leftOutIpv6 = 0;
    std::uint64_t leftOutEncapsulated = 0;
    std::uint64_t leftOutBehindStackedTags = 0;
    std::uint64_t tunnelsCutShort = 0;
    // IP headers whose version contradicts what announced them.
    std::uint64_t malformedIp = 0;
    // 802.11 frames encrypted or fragmented, and frames cut short in the header of their link type.
    std::uint64_t unreadable80211 = 0;
    std::uint64_t linkHeaderCutShort = 0;
    // Without tunnels decoded: first fragments of tunnel packets. With them: tunnel packets whose
    // fragments could not be put together (datagrams, not frames).
    std::uint64_t tunnelFragments = 0;
    std::uint64_t incompleteTunnelPackets = 0;

    // Adds the counts of another part of the capture.
    FrameCoverage& operator+=(const FrameCoverage& other) {
        ipv4 += other.ipv4;
        ipv6 += other.ipv6;
        insideTunnels += other.insideTunnels;
        behindStackedTags += other.behindStackedTags;
        otherLinkTypes += other.otherLinkTypes;
        leftOutIpv6 += other.leftOutIpv6;
        leftOutEncapsulated += other.leftOutEncapsulated;
        leftOutBehindStackedTags += other.leftOutBehindStackedTags;
        tunnelsCutShort += other.tunnelsCutShort;
        malformedIp += other.malformedIp;
        unreadable80211 += other.unreadable80211;
        linkHeaderCutShort += other.linkHeaderCutShort;
        tunnelFragments += other.tunnelFragments;
        incompleteTunnelPackets += other.incompleteTunnelPackets;
        return *this;
    }
};

}  // namespace korvo::measurement
