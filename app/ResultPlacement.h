#pragma once
// Places a run's finished result files so that a prefix always holds one whole run: first the summary and
// every other result file of the prefix that this run does not write are removed, then the run's files are
// renamed into place, the summary last. SIGINT and SIGTERM wait until it is done. A prefix without a summary
// holds no complete run.

#include <string>
#include <vector>

#include "app/ResultFile.h"

namespace korvo::measurement {

class ResultPlacement {
public:
    // `resultNames` are all the names under which a run of this prefix may leave a file; `files` are this
    // run's other files, finished, and `summary` its finished summary.
    static void place(const std::vector<std::string>& resultNames, const std::vector<ResultFile*>& files,
                      ResultFile& summary);
};

}  // namespace korvo::measurement
