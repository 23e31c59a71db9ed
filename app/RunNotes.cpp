#include "app/RunNotes.h"

#include <pcap/pcap.h>

namespace korvo::measurement {

std::string RunNotes::undecodedLinkType(int linkType) {
    const char* name = pcap_datalink_val_to_name(linkType);
    return std::string("Link type ") + (name != nullptr ? name : "unknown") + " (" +
           std::to_string(linkType) +
           ") is not decoded: only the frame-level figures (TotalVolumeInB, TrafficLoadInMbps, "
           "CaptureDuration, NumberOfTruncatedPackets) are reported";
}

std::string RunNotes::coverage(bool ipv6Analysed, std::uint64_t ipv6Frames, std::uint64_t stackedTagFrames) {
    if (ipv6Frames == 0 && stackedTagFrames == 0) {
        return {};
    }
    std::string note = ipv6Analysed ? "Frames left out: " : "Only IPv4 is analysed; frames left out: ";
    if (stackedTagFrames != 0) {
        note += std::to_string(stackedTagFrames) + " behind stacked VLAN tags";
    }
    if (ipv6Frames != 0) {
        note += (stackedTagFrames != 0 ? ", " : "") + std::to_string(ipv6Frames) +
                " carrying IPv6 (--ipv6 analyses them)";
    }
    return note;
}

std::string RunNotes::stoppedAtDamage(std::uint64_t framesTaken) {
    if (framesTaken == 0) {
        return "Reading stopped at the first record, which is damaged: the results cover no frames";
    }
    return "Reading stopped at a damaged record: the results cover frames 1 to " +
           std::to_string(framesTaken);
}

}  // namespace korvo::measurement
