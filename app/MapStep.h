#pragma once
// The first step of a run split over machines: reads one group of the captures as a whole run reads its
// captures and leaves in the work folder, as map-K/, every figure's partial with its detail rows (frame
// numbers counted within the group), the coverage, what was read of each capture and where a damaged
// record stopped the reading, the load over time, and the group's flow segments shard by shard, with their
// wire bytes where the flow table is asked for.

#include <cstddef>
#include <string>

#include "output/RunOptions.h"

namespace korvo::measurement {

class MapStep {
public:
    static void run(const RunOptions& options, const std::string& work, std::size_t group);
};

}  // namespace korvo::measurement
