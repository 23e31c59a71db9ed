#pragma once
// One invocation's spine: builds the receiving network, with a receiver for every figure of the table that
// the options turn on, reads the capture through it, hands out the judged flows, and writes the summary and
// detail files. Any failure from opening the capture to writing the last file ends the process with
// status -2.

#include <memory>
#include <string>
#include <vector>

#include "app/ResultFile.h"
#include "figure/Measurement.h"
#include "measurement/Figures.h"
#include "output/ReportContent.h"
#include "output/RunOptions.h"

namespace korvo::measurement {

class MeasurementRun {
public:
    // Analyses the captures of `options` (several are read as one) and writes the results. A failure from
    // opening the captures to writing the last file is reported on standard error and ends the process with
    // status -2. A filter that cannot be compiled is thrown to the caller as FilterError before anything is
    // read or written.
    void run(const RunOptions& options);
    // The same without ending the process: such a failure is thrown to the caller.
    void analyse(const RunOptions& options);

private:
    struct BuiltFigure {
        const Figure& figure;
        std::unique_ptr<Measurement> measurement;
    };

    // The built figures' values under their headings.
    [[nodiscard]] std::vector<ReportContent::Group> figureValues() const;
    // Writes the summary of `groups` and the detail files and places them, with the other files of the run,
    // already finished, as one whole run of the prefix.
    void writeResults(const std::string& outputPrefix, const std::vector<ReportContent::Group>& groups,
                      const std::vector<ResultFile*>& finished) const;
    // The figure built from the table row `name`.
    [[nodiscard]] const Measurement& built(std::string_view name) const;

    // In the table's order, those the options turn on.
    std::vector<BuiltFigure> figures_;
};

}  // namespace korvo::measurement
