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

// The files that describe the whole run besides the summary: PREFIX.Summary.json and PREFIX.Report.html.
struct RunOutputs {
    bool json = false;
    bool report = false;
};

class MeasurementRun {
public:
    using Group = std::vector<std::reference_wrapper<const Measurement>>;

    // Analyses the captures (several are read as one) and writes the results; a non-empty `filter` hides
    // the frames it does not keep; with `writeFlowTable` PREFIX.Flows.csv is written too; `decoding` says
    // what is lifted beyond plain IPv4; with `retransmissions` the retransmission figures are found and
    // reported under a heading of their own, and the flow table has their columns. A failure from opening the
    // captures to writing the last file is reported on standard error and ends the process with status -2. A
    // filter that cannot be compiled is thrown to the caller as FilterError before anything is read or
    // written. `outputs` says which files describe the run besides the summary.
    void run(const std::vector<std::string>& inputFiles, const std::string& filter,
             const std::string& outputPrefix, bool extended, const FlowTableSettings& flowSettings = {},
             bool writeFlowTable = false, const Decoding& decoding = {}, bool retransmissions = false,
             const RunOutputs& outputs = {});
    // The same without ending the process: such a failure is thrown to the caller.
    void analyse(const std::vector<std::string>& inputFiles, const std::string& filter,
                 const std::string& outputPrefix, bool extended, const FlowTableSettings& flowSettings = {},
                 bool writeFlowTable = false, const Decoding& decoding = {}, bool retransmissions = false,
                 const RunOutputs& outputs = {});
    // Writes the summary and the detail files and places them, with the other files of the run, already
    // finished, as one whole run of the prefix.
    void writeResults(const std::string& outputPrefix, const std::vector<ResultFile*>& finished) const;

    Group volumeMeasurements;
    Group flowMeasurements;
    Group packetMeasurements;
    // Empty unless retransmissions are found.
    Group retransmissionMeasurements;

private:
    struct NamedGroup {
        const char* heading;
        const Group& members;
    };
    // The groups in the summary's order, headings with their colon.
    [[nodiscard]] std::vector<NamedGroup> namedGroups() const;
};

}  // namespace korvo::measurement
