#pragma once
// Writes every result file of a run from what it found, and places them, with the flow table file already
// finished, as one whole run of the prefix: the summary, the figures' detail files, the JSON summary and the
// report where asked. The whole run and the finishing step of a split run write through it alike.

#include <memory>
#include <string>
#include <vector>

#include "app/ResultFile.h"
#include "app/RunNetwork.h"
#include "output/ReportContent.h"

namespace korvo::measurement {

class ResultWriter {
public:
    // The name of each result file of a prefix.
    static constexpr const char* kSummarySuffix = ".Summary.txt";
    static constexpr const char* kFlowTableSuffix = ".Flows.csv";
    static constexpr const char* kJsonSuffix = ".Summary.json";
    static constexpr const char* kReportSuffix = ".Report.html";

    // The detail files of the extended figures among `figures`, in their order, each taking its figure's
    // rows from now on as they come, so that millions of rows go straight to their file.
    [[nodiscard]] static std::vector<std::unique_ptr<ResultFile>> streamDetails(
        const std::vector<RunNetwork::BuiltFigure>& figures, const std::string& prefix);

    // `content` holds everything but the groups, which are taken from `figures`; `flowsFile` is the
    // finished flow table file, or null; `details` are the files streamDetails made for `figures`.
    static void write(const std::vector<RunNetwork::BuiltFigure>& figures, ReportContent& content,
                      ResultFile* flowsFile, std::vector<std::unique_ptr<ResultFile>> details);
};

}  // namespace korvo::measurement
