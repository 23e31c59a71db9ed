#pragma once
// One invocation's spine: builds the receiving network in a fixed order, reads the capture through it,
// hands out the flows, and writes the summary and detail files. Any failure from opening the capture to
// writing the last file ends the process with status -2.

#include <functional>
#include <string>
#include <vector>

#include "app/ResultFile.h"
#include "capture/Decoding.h"
#include "flow/SequenceEvaluatorMultimap.h"
#include "report/Measurement.h"

namespace korvo::measurement {

class MeasurementRun {
public:
    using Group = std::vector<std::reference_wrapper<const Measurement>>;

    // Analyses the captures (several are read as one) and writes the results; a non-empty `filter` hides
    // the frames it does not keep; with `writeFlowTable` PREFIX.Flows.csv is written too; `decoding` says
    // what is lifted beyond plain IPv4; with `retransmissions` the retransmission figures are found and
    // reported under a heading of their own, and the flow table has their columns. A failure from opening the
    // captures to writing the last file is reported on standard error and ends the process with status -2. A
    // filter that cannot be compiled is thrown to the caller as FilterError before anything is read or
    // written.
    void run(const std::vector<std::string>& inputFiles, const std::string& filter,
             const std::string& outputPrefix, bool extended, const FlowTableSettings& flowSettings = {},
             bool writeFlowTable = false, const Decoding& decoding = {}, bool retransmissions = false);
    // The same without ending the process: such a failure is thrown to the caller.
    void analyse(const std::vector<std::string>& inputFiles, const std::string& filter,
                 const std::string& outputPrefix, bool extended, const FlowTableSettings& flowSettings = {},
                 bool writeFlowTable = false, const Decoding& decoding = {}, bool retransmissions = false);
    // Writes the summary and the detail files and places them, with the finished flow table file if there
    // is one, as one whole run of the prefix.
    void writeResults(const std::string& outputPrefix, ResultFile* flowsFile) const;

    Group volumeMeasurements;
    Group flowMeasurements;
    Group packetMeasurements;
    // Empty unless retransmissions are found.
    Group retransmissionMeasurements;
};

}  // namespace korvo::measurement
