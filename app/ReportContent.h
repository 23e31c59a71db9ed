#pragma once
// Everything the JSON summary and the report say about one run, gathered once it has read the captures and
// judged the flows: the figures by heading, what was read, the options, the coverage and the capture span;
// for the report also the load over time and the flows' highlights.

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "app/RunOptions.h"
#include "capture/PacketLoader.h"
#include "measurement/FlowHighlights.h"
#include "measurement/LoadTimeline.h"

namespace korvo::measurement {

struct ReportContent {
    struct Figure {
        std::string name;
        // As the summary writes it.
        std::string value;
    };
    struct Group {
        // Without the summary's colon.
        std::string heading;
        std::vector<Figure> figures;
    };
    // Frames by what became of them.
    struct Coverage {
        std::uint64_t ipv4 = 0;
        std::uint64_t ipv6 = 0;
        // Of the analysed frames: those reached through a tunnel, and through stacked VLAN tags alone.
        std::uint64_t insideTunnels = 0;
        std::uint64_t behindStackedTags = 0;
        std::uint64_t otherLinkTypes = 0;
        std::uint64_t leftOutIpv6 = 0;
        // Left out inside an encapsulation that is not decoded, and behind stacked tags among them.
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
        // The note the run writes on standard error; empty when it writes none.
        std::string note;
    };

    std::vector<Group> groups;
    std::vector<PacketLoader::InputRead> inputs;
    std::uint64_t framesRead = 0;
    // Empty when the captures were read to their end.
    std::string damage;
    RunOptions options;
    Coverage coverage;
    // Not-a-date-time when no frame was counted.
    boost::posix_time::ptime first;
    boost::posix_time::ptime last;
    boost::posix_time::time_duration duration;
    // Given only for the report.
    const LoadTimeline* load = nullptr;
    const FlowHighlights* highlights = nullptr;
};

}  // namespace korvo::measurement
