#include "measurement/Figures.h"

#include <array>
#include <string>

#include "measurement/CaptureDuration.h"
#include "measurement/ConnectionMeasurement.h"
#include "measurement/NumberIPFragments.h"
#include "measurement/NumberJumboPackets.h"
#include "measurement/NumberSimplexStreams.h"
#include "measurement/NumberTCPFlows.h"
#include "measurement/NumberTruncatedPackets.h"
#include "measurement/RetransmissionMeasurement.h"
#include "measurement/SequenceAnomalyMeasurement.h"
#include "measurement/TotalVolume.h"
#include "measurement/TotalVolumeTCPInB.h"
#include "measurement/TrafficLoadInMbps.h"

namespace korvo::measurement {

namespace {

using Made = std::unique_ptr<Measurement>;
using Anomaly = FlowVerdict::Anomaly;

std::string nameOf(const Figure& figure) {
    return std::string(figure.name);
}

// The text between the flow and the value in a flow-level figure's row, "Tuple,<flow>,...,<n>".
std::string_view flowLabel(const Figure& figure) {
    constexpr std::string_view kFlow = "Tuple,<flow>";
    const std::size_t value = figure.detailRow.rfind('<');
    return figure.detailRow.substr(kFlow.size(), value - kFlow.size());
}

template <Anomaly kind>
Made packetAnomalies(const Figure& figure, FigureSources& sources, bool extended) {
    return std::make_unique<SequenceAnomalyMeasurement>(sources.flows, nameOf(figure), extended, kind, "");
}

template <Anomaly kind>
Made flowAnomalies(const Figure& figure, FigureSources& sources, bool extended) {
    return std::make_unique<SequenceAnomalyMeasurement>(sources.flows, nameOf(figure), extended, kind,
                                                        flowLabel(figure));
}

template <RetransmissionMeasurement::Kind kind>
Made retransmissions(const Figure& figure, FigureSources& sources, bool extended) {
    return std::make_unique<RetransmissionMeasurement>(sources.flows, nameOf(figure), kind, extended);
}

template <ConnectionMeasurement::Kind kind>
Made connections(const Figure& figure, FigureSources& sources, bool extended) {
    return std::make_unique<ConnectionMeasurement>(sources.flows, nameOf(figure), kind, extended,
                                                   figure.detailRow.empty() ? "" : flowLabel(figure));
}

constexpr std::string_view kSegmentRow = "Packet Number,<n>,Capture Time,<time>,Sequence Number,<seq>";

const std::array<Figure, 26> kFigures = {{
    {"TotalVolumeInB", FigureGroup::kVolume, "Bytes on the wire, all frames",
     "The sum of the wire lengths of all frames, in bytes, whether or not a frame was captured in full, "
     "exact at any size.",
     "", FigureSwitch::kAlways,
     [](const Figure& figure, FigureSources& sources, bool) -> Made {
         return std::make_unique<TotalVolume>(nameOf(figure), sources.frames);
     }},
    {"TrafficLoadInMbps", FigureGroup::kVolume, "Mean load over the capture span, Mb/s",
     "The bits of TotalVolumeInB divided by the capture span in microseconds: megabits (10^6 bits) per "
     "second, with at most six significant digits. inf when every frame carries the same time, nan for an "
     "empty capture.",
     "", FigureSwitch::kAlways,
     [](const Figure& figure, FigureSources& sources, bool) -> Made {
         return std::make_unique<TrafficLoadInMbps>(nameOf(figure), sources.frames);
     }},
    {"CaptureDuration", FigureGroup::kVolume, "Latest capture time minus the earliest",
     "HH:MM:SS, with the microseconds when the fraction of a second is not zero. Frames out of time order do "
     "not shorten it.",
     "", FigureSwitch::kAlways,
     [](const Figure& figure, FigureSources& sources, bool) -> Made {
         return std::make_unique<CaptureDuration>(nameOf(figure), sources.frames);
     }},
    {"TotalVolumeTCPInB", FigureGroup::kVolume, "Bytes on the wire of the frames carrying TCP",
     "The sum of the wire lengths of the frames that carry a TCP segment, headers included.", "",
     FigureSwitch::kAlways,
     [](const Figure& figure, FigureSources& sources, bool) -> Made {
         return std::make_unique<TotalVolumeTCPInB>(nameOf(figure), sources.tcp);
     }},
    {"NumberTCPFlows", FigureGroup::kVolume, "TCP flows",
     "Segments from A to B and from B to A belong to one flow; a flow is its addresses and ports (the "
     "innermost ones inside tunnels).",
     "<flow>", FigureSwitch::kAlways,
     [](const Figure& figure, FigureSources& sources, bool extended) -> Made {
         return std::make_unique<NumberTCPFlows>(nameOf(figure), sources.flows, extended);
     }},
    {"NumberTCPFlowDuplicates", FigureGroup::kFlow, "Flows with a repeated segment",
     "Flows with at least one segment counted by NumberTCPDuplicates.",
     "Tuple,<flow>,Number Of Duplicates,<n>", FigureSwitch::kAlways, flowAnomalies<Anomaly::kRepeats>},
    {"NumberTCPGapFlows", FigureGroup::kFlow, "Flows with a hole in their sequence space",
     "Flows with at least one hole, in either direction, counted by NumberGapsInTCPFlows.",
     "Tuple,<flow>,Number of Gaps,<n>", FigureSwitch::kAlways, flowAnomalies<Anomaly::kGaps>},
    {"NumberTCPOutOfOrderFlows", FigureGroup::kFlow, "Flows with an out-of-order segment",
     "Flows with at least one segment counted by NumberOutOfOrderTCPPackets.",
     "Tuple,<flow>,Number Out Of Order Packets,<n>", FigureSwitch::kAlways,
     flowAnomalies<Anomaly::kOutOfOrder>},
    {"NumberSimplexFlows", FigureGroup::kFlow, "Flows seen in one direction only",
     "Flows of which no segment was seen in the reverse direction: the capture missed one side, or nobody "
     "answered.",
     "Simplex Flow Tuple,<flow>,number Packets,<n>", FigureSwitch::kAlways,
     [](const Figure& figure, FigureSources& sources, bool extended) -> Made {
         return std::make_unique<NumberSimplexStreams>(nameOf(figure), sources.flows, extended);
     }},
    {"NumberJumboIPPackets", FigureGroup::kPacket, "Unfragmented IP packets over 1500 bytes",
     "IPv4 packets by their total length, IPv6 packets by 40 plus their payload length; where that length is "
     "0 (a packet captured before segmentation offload cut it up), or claims more than the frame's wire "
     "length less the link header, by that wire length.",
     "Packet Number,<n>,Capture Time,<time>,IP Packet Length,<length>", FigureSwitch::kAlways,
     [](const Figure& figure, FigureSources& sources, bool extended) -> Made {
         return std::make_unique<NumberJumboPackets>(nameOf(figure), sources.outermostIp, extended);
     }},
    {"NumberIPFragments", FigureGroup::kPacket, "IP fragments",
     "IPv4 packets with a fragment offset other than zero or the more-fragments bit set; with --ipv6, also "
     "IPv6 packets with a fragment header that is not atomic.",
     "Packet Number,<n>,Capture Time,<time>", FigureSwitch::kAlways,
     [](const Figure& figure, FigureSources& sources, bool extended) -> Made {
         return std::make_unique<NumberIPFragments>(nameOf(figure), sources.fragments, extended);
     }},
    {"NumberGapsInTCPFlows", FigureGroup::kPacket, "Holes in the sequence space",
     "In the segments of one direction, sorted by sequence number, a segment that starts beyond the end of "
     "everything before it: bytes the capture never saw. A new connection on the same addresses and ports "
     "is judged apart. Charted at the time of the first segment after the hole.",
     "PreGapPacketID,<n>,Capture Time,<time>,Sequence Number,<seq>,PostGapPacketID,<n>,Capture Time,<time>,"
     "Sequence Number,<seq>,Gap Size,<size>",
     FigureSwitch::kAlways, packetAnomalies<Anomaly::kGaps>},
    {"NumberOutOfOrderTCPPackets", FigureGroup::kPacket, "Segments behind one captured before",
     "Segments captured after a segment of the same direction that lies further along in sequence space. A "
     "retransmission counts just like a reordered segment; a segment without data, a keep-alive and a "
     "zero-window probe never count. A new connection on the same addresses and ports is judged apart.",
     kSegmentRow, FigureSwitch::kAlways, packetAnomalies<Anomaly::kOutOfOrder>},
    {"NumberTCPDuplicates", FigureGroup::kPacket, "Repeated segments (copies)",
     "Copies made by the network or the capture: the last earlier segment of the same direction with the "
     "same IP identification, sequence number, length and acknowledgement number was captured at most 10 ms "
     "before. Later, it is a resend. IPv6 segments are never repeats.",
     kSegmentRow, FigureSwitch::kAlways, packetAnomalies<Anomaly::kRepeats>},
    {"NumberOfTruncatedPackets", FigureGroup::kPacket, "Frames captured shorter than on the wire",
     "Frames whose captured length differs from their wire length, usually because of a short snap length.",
     "Packet Number,<n>", FigureSwitch::kAlways,
     [](const Figure& figure, FigureSources& sources, bool) -> Made {
         // Listed in every run: a capture cut short by its snap length is the first thing to know of it.
         return std::make_unique<NumberTruncatedPackets>(nameOf(figure), sources.readFrames, true);
     }},
    {"NumberTCPRetransmissions", FigureGroup::kRetransmission, "Segments that resent sequence space",
     "Segments that occupy sequence space some of which an earlier segment of their direction occupied, "
     "except keep-alives, zero-window probes and repeats.",
     "Packet Number,<n>,Capture Time,<time>,Sequence Number,<seq>,Tuple,<flow>,End Sequence Number,<seq>,"
     "Retransmitted Bytes,<n>,Kind,<kind>",
     FigureSwitch::kRetransmissions, retransmissions<RetransmissionMeasurement::Kind::kRetransmissions>},
    {"NumberTCPRetransmittedBytes", FigureGroup::kRetransmission, "Sequence numbers sent again",
     "The sequence numbers of the retransmissions that overlap what their direction had sent before.", "",
     FigureSwitch::kRetransmissions, retransmissions<RetransmissionMeasurement::Kind::kRetransmittedBytes>},
    {"NumberTCPSpuriousRetransmissions", FigureGroup::kRetransmission, "Retransmissions already acknowledged",
     "Retransmissions whose whole range the other side had acknowledged before they were captured.", "",
     FigureSwitch::kRetransmissions, retransmissions<RetransmissionMeasurement::Kind::kSpurious>},
    {"NumberTCPRetransmissionFlows", FigureGroup::kRetransmission, "Flows with a retransmission",
     "Flows with at least one segment counted by NumberTCPRetransmissions.",
     "Tuple,<flow>,Number of Retransmissions,<n>", FigureSwitch::kRetransmissions,
     retransmissions<RetransmissionMeasurement::Kind::kFlows>},
    {"MedianHandshakeRTTInMs", FigureGroup::kRetransmission, "Median handshake time, ms",
     "Over the flows whose handshake was captured, the median time from the SYN to the ACK that completes "
     "the handshake, in milliseconds; nan when no handshake was captured.",
     "", FigureSwitch::kRetransmissions, retransmissions<RetransmissionMeasurement::Kind::kMedianHandshake>},
    {"NumberTCPRefusedFlows", FigureGroup::kConnection, "Flows whose SYN was answered by a RST",
     "Flows whose last connection is in state REJ: the originator's SYN drew a RST and no SYN-ACK.",
     "Tuple,<flow>,State,<state>", FigureSwitch::kConnections,
     connections<ConnectionMeasurement::Kind::kRefused>},
    {"NumberTCPUnansweredFlows", FigureGroup::kConnection, "Flows whose SYN was never answered",
     "Flows whose last connection is in state S0: a SYN and nothing from the other side.",
     "Tuple,<flow>,State,<state>", FigureSwitch::kConnections,
     connections<ConnectionMeasurement::Kind::kUnanswered>},
    {"NumberTCPResetFlows", FigureGroup::kConnection, "Flows reset after their handshake",
     "Flows whose last connection is in state RSTO or RSTR: a RST from either side after the SYN and the "
     "SYN-ACK.",
     "Tuple,<flow>,State,<state>", FigureSwitch::kConnections,
     connections<ConnectionMeasurement::Kind::kReset>},
    {"NumberTCPZeroWindowFlows", FigureGroup::kConnection, "Flows stalled by a zero window",
     "Flows in which either side advertised a window of zero (raw, unscaled) in a segment without SYN, FIN "
     "or RST.",
     "Tuple,<flow>,Number of Zero Windows,<n>", FigureSwitch::kConnections,
     connections<ConnectionMeasurement::Kind::kZeroWindow>},
    {"NumberTCPClosedFlows", FigureGroup::kConnection, "Flows closed by a FIN from each side",
     "Flows whose last connection is in state SF: established by SYN and SYN-ACK, closed by a FIN from each "
     "side, with no RST.",
     "Tuple,<flow>,State,<state>", FigureSwitch::kConnections,
     connections<ConnectionMeasurement::Kind::kClosed>},
    {"MedianDataRTTInMs", FigureGroup::kConnection, "Median data round trip, ms",
     "Over the flows with a round-trip sample, the median of each flow's median time from a data segment "
     "sent once to the first acknowledgement covering it, in milliseconds; nan when no flow has one.",
     "", FigureSwitch::kConnections, connections<ConnectionMeasurement::Kind::kMedianRoundTrip>},
}};

}  // namespace

std::span<const Figure> Figures::all() {
    return kFigures;
}

const Figure* Figures::find(std::string_view name) {
    for (const Figure& figure : kFigures) {
        if (figure.name == name) {
            return &figure;
        }
    }
    return nullptr;
}

std::string_view Figures::heading(FigureGroup group) {
    switch (group) {
        case FigureGroup::kVolume:
            return "Volume Measurements";
        case FigureGroup::kFlow:
            return "Flow Measurements";
        case FigureGroup::kPacket:
            return "Packet Measurements";
        case FigureGroup::kRetransmission:
            return "Retransmission Measurements";
        case FigureGroup::kConnection:
            break;
    }
    return "Connection Measurements";
}

}  // namespace korvo::measurement
