#pragma once
// The table of the summary's figures, one row each in the summary's order: the reported name, its group,
// what it means (a line beside the value and the explanation the report gives), the shape of its detail
// rows, the option that turns it on and how its receiver is made. The run builds its figures from it; the
// summary, the JSON, the report and the result files of a prefix follow it.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "capture/PacketSignals.h"
#include "figure/Measurement.h"
#include "flow/SequenceEvaluatorHandler.h"

namespace korvo::measurement {

// What a figure's receivers may connect to.
struct FigureSources {
    // Every frame as analysed.
    EthernetSignal& frames;
    // Every frame as read, whole: on more than one thread the analysed frames are copies cut short.
    EthernetSignal& readFrames;
    // The outermost IP packet of each frame, the one on the wire.
    IPPacketSource& outermostIp;
    // The IPv4 fragments and the IPv6 packets with a fragment header.
    IPPacketSource& fragments;
    TCPPacketSource& tcp;
    // The judged flows, once the capture has been read.
    SequenceEvaluatorSource& flows;
};

// The groups of the summary, in its order.
enum class FigureGroup : std::uint8_t { kVolume, kFlow, kPacket, kRetransmission, kConnection };

// What turns a figure on.
enum class FigureSwitch : std::uint8_t { kAlways, kRetransmissions, kConnections };

struct Figure {
    std::string_view name;
    FigureGroup group;
    // A line beside the value.
    std::string_view meaning;
    // The longer explanation, which the figure's name links to in the report.
    std::string_view explanation;
    // One detail row as the manual shows it, the values in angle brackets; empty for a figure without
    // detail rows.
    std::string_view detailRow;
    FigureSwitch on;
    // Builds the figure's receiver, connected to `sources`; `extended` asks for its detail rows.
    std::unique_ptr<Measurement> (*make)(const Figure& figure, FigureSources& sources, bool extended);
};

class Figures {
public:
    // Every figure, in the summary's order.
    [[nodiscard]] static std::span<const Figure> all();
    // The figure of that name; none for a name that is not a figure's.
    [[nodiscard]] static const Figure* find(std::string_view name);
    // The group's heading in the summary, without its colon.
    [[nodiscard]] static std::string_view heading(FigureGroup group);
};

}  // namespace korvo::measurement
