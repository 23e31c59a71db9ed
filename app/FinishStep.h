#pragma once
// The last step of a run split over machines: adds up what the map and reduce steps left in the work folder,
// group by group and then shard by shard, and writes and places every result file of the prefix as one run
// over all the captures would. Where the groups overlap in time, frames are numbered group by group, and it
// says so on standard error.

#include <string>

#include "output/RunOptions.h"

namespace korvo::measurement {

class FinishStep {
public:
    // `options` gives the prefix, the files that describe the run and the resources; the analysis options
    // come from the work folder. Reading that stopped at a damaged record ends it with RunFailure after the
    // results are placed, as one run ends.
    static void run(RunOptions options, const std::string& work);
};

}  // namespace korvo::measurement
