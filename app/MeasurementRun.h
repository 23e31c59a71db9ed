#pragma once
// One invocation's spine: builds the receiving network in a fixed order, reads the capture through it,
// hands out the flows, and writes the summary and detail files. Any failure from opening the capture to
// writing the last file ends the process with status -2.

#include <functional>
#include <string>
#include <vector>

#include "flow/SequenceEvaluatorMultimap.h"
#include "measurement/Measurement.h"

namespace korvo::measurement {

class MeasurementRun {
public:
    using Group = std::vector<std::reference_wrapper<const Measurement>>;

    // Analyses the capture and writes the results, with `writeFlowTable` also PREFIX.Flows.csv. A failure
    // from opening the capture to writing the last file is reported on standard error and ends the process
    // with status -2.
    void run(std::string inputFile, std::string outputPrefix, bool extended,
             const FlowTableSettings& flowSettings = {}, bool writeFlowTable = false);
    // The same without ending the process: such a failure is thrown to the caller.
    void analyse(const std::string& inputFile, const std::string& outputPrefix, bool extended,
                 const FlowTableSettings& flowSettings = {}, bool writeFlowTable = false);
    void writeResults(std::string outputPrefix) const;

    Group volumeMeasurements;
    Group flowMeasurements;
    Group packetMeasurements;
};

}  // namespace korvo::measurement
