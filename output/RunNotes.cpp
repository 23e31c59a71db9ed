#include "output/RunNotes.h"

#include <pcap/pcap.h>

namespace korvo::measurement {

std::string RunNotes::undecodedLinkType(int linkType, bool onlyLinkType) {
    const char* name = pcap_datalink_val_to_name(linkType);
    return std::string("Link type ") + (name != nullptr ? name : "unknown") + " (" +
           std::to_string(linkType) +
           (onlyLinkType
                ? ") is not decoded: only the frame-level figures (TotalVolumeInB, TrafficLoadInMbps, "
                  "CaptureDuration, NumberOfTruncatedPackets) are reported"
                : ") is not decoded: its frames count only in the frame-level figures (TotalVolumeInB, "
                  "TrafficLoadInMbps, CaptureDuration, NumberOfTruncatedPackets)");
}

std::string RunNotes::coverage(const Decoding& decoding, const FrameCoverage& counts) {
    std::string parts;
    const auto add = [&parts](std::uint64_t frames, const char* kind) {
        if (frames != 0) {
            parts += (parts.empty() ? "" : ", ") + std::to_string(frames) + kind;
        }
    };
    add(counts.leftOutIpv6, " carrying IPv6 (--ipv6 analyses them)");
    add(counts.leftOutEncapsulated, " inside tunnels or behind stacked VLAN tags (--tunnels decodes them)");
    add(counts.tunnelsCutShort, " inside tunnels cut short or too deep");
    add(counts.malformedIp, " malformed IP");
    add(counts.unreadable80211, " encrypted or fragmented 802.11");
    add(counts.linkHeaderCutShort, " cut short in their link header");
    add(counts.tunnelFragments, " fragments of tunnel packets (--tunnels reassembles them)");
    if (counts.incompleteTunnelPackets != 0) {
        parts += (parts.empty() ? "" : ", ") + std::to_string(counts.incompleteTunnelPackets) +
                 " fragmented tunnel packets never put together (not all their fragments came)";
    }
    if (parts.empty()) {
        return {};
    }
    return (decoding.ipv6 ? "Frames left out: " : "Only IPv4 is analysed; frames left out: ") + parts;
}

std::string RunNotes::stoppedAtDamage(std::uint64_t framesTaken) {
    if (framesTaken == 0) {
        return "Reading stopped at the first record, which is damaged: the results cover no frames";
    }
    return "Reading stopped at a damaged record: the results cover frames 1 to " +
           std::to_string(framesTaken);
}

}  // namespace korvo::measurement
