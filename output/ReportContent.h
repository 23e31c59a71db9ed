#pragma once
// Everything the JSON summary and the report say about one run, gathered once it has read the captures and
// judged the flows: the figures by heading, what was read, the options, the coverage and the capture span;
// for the report also the load over time and the flows' highlights.

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/FrameCoverage.h"
#include "capture/PacketLoader.h"
#include "measurement/Figures.h"
#include "measurement/FlowHighlights.h"
#include "measurement/LoadTimeline.h"
#include "output/RunOptions.h"

namespace korvo::measurement {

struct ReportContent {
    struct FigureValue {
        const Figure* figure;
        // As the summary writes it.
        std::string value;
    };
    struct Group {
        // Without the summary's colon.
        std::string heading;
        std::vector<FigureValue> figures;
    };
    // Frames by what became of them, and the note the run writes on standard error about those left out
    // (empty when it writes none).
    struct Coverage : FrameCoverage {
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
    const TimeBins* load = nullptr;
    const FlowHighlights* highlights = nullptr;
};

}  // namespace korvo::measurement
