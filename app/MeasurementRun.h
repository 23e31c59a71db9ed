#pragma once
// One invocation's spine: builds the receiving network in a fixed order, reads the capture through it,
// hands out the flows, and writes the summary and detail files. Any failure from opening the capture to
// writing the last file ends the process with status -2.

#include <functional>
#include <string>
#include <vector>

#include "app/ResultFile.h"
#include "app/RunOptions.h"
#include "report/Measurement.h"

namespace korvo::measurement {

class MeasurementRun {
public:
    using Group = std::vector<std::reference_wrapper<const Measurement>>;

    // Analyses the captures of `options` (several are read as one) and writes the results. A failure from
    // opening the captures to writing the last file is reported on standard error and ends the process with
    // status -2. A filter that cannot be compiled is thrown to the caller as FilterError before anything is
    // read or written.
    void run(const RunOptions& options);
    // The same without ending the process: such a failure is thrown to the caller.
    void analyse(const RunOptions& options);
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
