#pragma once
// One invocation's spine: builds the receiving network of its options, reads the capture through it, hands
// out the judged flows, and writes the result files. Any failure from opening the capture to writing the
// last file ends the process with status -2.

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
};

}  // namespace korvo::measurement
