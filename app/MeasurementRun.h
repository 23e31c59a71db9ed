#pragma once
// One invocation's spine: builds the receiving network in a fixed order, reads the capture through it,
// hands out the flows, and writes the summary and detail files. Any failure from opening the capture to
// writing the last file ends the process with status -2.

#include <functional>
#include <string>
#include <vector>

#include "measurement/Measurement.h"

namespace korvo::measurement {

class MeasurementRun {
public:
    using Group = std::vector<std::reference_wrapper<const Measurement>>;

    void run(std::string inputFile, std::string outputPrefix, bool extended);
    void writeResults(std::string outputPrefix) const;

    Group volumeMeasurements;
    Group flowMeasurements;
    Group packetMeasurements;
};

}  // namespace korvo::measurement
