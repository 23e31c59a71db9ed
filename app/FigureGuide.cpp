#include "app/FigureGuide.h"

#include <array>

namespace korvo::measurement {

namespace {

constexpr std::array<FigureGuide::Entry, 20> kEntries = {{
    {"TotalVolumeInB", "Bytes on the wire, all frames",
     "The sum of the wire lengths of all frames, in bytes, whether or not a frame was captured in full, "
     "exact at any size."},
    {"TrafficLoadInMbps", "Mean load over the capture span, Mb/s",
     "The bits of TotalVolumeInB divided by the capture span in microseconds: megabits (10^6 bits) per "
     "second, with at most six significant digits. inf when every frame carries the same time, nan for an "
     "empty capture."},
    {"CaptureDuration", "Latest capture time minus the earliest",
     "HH:MM:SS, with the microseconds when the fraction of a second is not zero. Frames out of time order do "
     "not shorten it."},
    {"TotalVolumeTCPInB", "Bytes on the wire of the frames carrying TCP",
     "The sum of the wire lengths of the frames that carry a TCP segment, headers included."},
    {"NumberTCPFlows", "TCP flows",
     "Segments from A to B and from B to A belong to one flow; a flow is its addresses and ports (the "
     "innermost ones inside tunnels)."},
    {"NumberTCPFlowDuplicates", "Flows with a repeated segment",
     "Flows with at least one segment counted by NumberTCPDuplicates."},
    {"NumberTCPGapFlows", "Flows with a hole in their sequence space",
     "Flows with at least one hole, in either direction, counted by NumberGapsInTCPFlows."},
    {"NumberTCPOutOfOrderFlows", "Flows with an out-of-order segment",
     "Flows with at least one segment counted by NumberOutOfOrderTCPPackets."},
    {"NumberSimplexFlows", "Flows seen in one direction only",
     "Flows of which no segment was seen in the reverse direction: the capture missed one side, or nobody "
     "answered."},
    {"NumberJumboIPPackets", "Unfragmented IP packets over 1500 bytes",
     "IPv4 packets by their total length, IPv6 packets by 40 plus their payload length; where that length is "
     "0 (a packet captured before segmentation offload cut it up), or claims more than the frame's wire "
     "length less the link header, by that wire length."},
    {"NumberIPFragments", "IP fragments",
     "IPv4 packets with a fragment offset other than zero or the more-fragments bit set; with --ipv6, also "
     "IPv6 packets with a fragment header that is not atomic."},
    {"NumberGapsInTCPFlows", "Holes in the sequence space",
     "In the segments of one direction, sorted by sequence number, a segment that starts beyond the end of "
     "everything before it: bytes the capture never saw. A new connection on the same addresses and ports "
     "is judged apart. Charted at the time of the first segment after the hole."},
    {"NumberOutOfOrderTCPPackets", "Segments behind one captured before",
     "Segments captured after a segment of the same direction that lies further along in sequence space. A "
     "retransmission counts just like a reordered segment; a segment without data, a keep-alive and a "
     "zero-window probe never count. A new connection on the same addresses and ports is judged apart."},
    {"NumberTCPDuplicates", "Repeated segments (copies)",
     "Copies made by the network or the capture: the last earlier segment of the same direction with the "
     "same IP identification, sequence number, length and acknowledgement number was captured at most 10 ms "
     "before. Later, it is a resend. IPv6 segments are never repeats."},
    {"NumberOfTruncatedPackets", "Frames captured shorter than on the wire",
     "Frames whose captured length differs from their wire length, usually because of a short snap length."},
    {"NumberTCPRetransmissions", "Segments that resent sequence space",
     "Segments that occupy sequence space some of which an earlier segment of their direction occupied, "
     "except keep-alives, zero-window probes and repeats."},
    {"NumberTCPRetransmittedBytes", "Sequence numbers sent again",
     "The sequence numbers of the retransmissions that overlap what their direction had sent before."},
    {"NumberTCPSpuriousRetransmissions", "Retransmissions already acknowledged",
     "Retransmissions whose whole range the other side had acknowledged before they were captured."},
    {"NumberTCPRetransmissionFlows", "Flows with a retransmission",
     "Flows with at least one segment counted by NumberTCPRetransmissions."},
    {"MedianHandshakeRTTInMs", "Median handshake time, ms",
     "Over the flows whose handshake was captured, the median time from the SYN to the ACK that completes "
     "the "
     "handshake, in milliseconds; nan when no handshake was captured."},
}};

}  // namespace

FigureGuide::Entry FigureGuide::of(std::string_view name) {
    for (const Entry& entry : kEntries) {
        if (entry.name == name) {
            return entry;
        }
    }
    return {name, "", ""};
}

}  // namespace korvo::measurement
