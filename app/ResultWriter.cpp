#include "app/ResultWriter.h"

#include <memory>
#include <optional>

#include "app/ResultPlacement.h"
#include "app/Version.h"
#include "output/HtmlReport.h"
#include "output/JsonSummary.h"
#include "output/SummaryText.h"

namespace korvo::measurement {

void ResultWriter::write(const std::vector<RunNetwork::BuiltFigure>& figures, ReportContent& content,
                         ResultFile* flowsFile) {
    const std::string& prefix = content.options.prefix;
    content.groups.clear();
    for (const RunNetwork::BuiltFigure& built : figures) {
        const std::string heading(Figures::heading(built.figure.group));
        if (content.groups.empty() || content.groups.back().heading != heading) {
            content.groups.push_back({heading, {}});
        }
        content.groups.back().figures.push_back({&built.figure, built.measurement->getValue()});
    }

    std::vector<ResultFile*> finished;
    if (flowsFile != nullptr) {
        finished.push_back(flowsFile);
    }
    std::optional<ResultFile> jsonFile;
    if (content.options.outputs.json) {
        jsonFile.emplace(prefix + kJsonSuffix);
        jsonFile->write(JsonSummary::text(content, kVersion));
        jsonFile->finish();
        finished.push_back(&*jsonFile);
    }
    std::optional<ResultFile> reportFile;
    if (content.options.outputs.report) {
        reportFile.emplace(prefix + kReportSuffix);
        reportFile->write(HtmlReport::page(content, kVersion));
        reportFile->finish();
        finished.push_back(&*reportFile);
    }

    ResultFile summary(prefix + kSummarySuffix);
    summary.write(SummaryText::of(content.groups));
    summary.finish();
    std::vector<std::unique_ptr<ResultFile>> details;
    std::vector<std::string> resultNames = {summary.name(), prefix + kFlowTableSuffix, prefix + kJsonSuffix,
                                            prefix + kReportSuffix};
    // The detail files of every figure, those this run does not find too, so that an earlier run's go.
    for (const Figure& figure : Figures::all()) {
        resultNames.push_back(prefix + "." + std::string(figure.name) + ".csv");
    }
    for (const RunNetwork::BuiltFigure& built : figures) {
        const Measurement& measurement = *built.measurement;
        if (measurement.isExtended()) {
            details.push_back(std::make_unique<ResultFile>(prefix + "." + measurement.getName() + ".csv"));
            details.back()->write(measurement.getDetails());
            details.back()->finish();
        }
    }
    for (const std::unique_ptr<ResultFile>& detail : details) {
        finished.push_back(detail.get());
    }
    ResultPlacement::place(resultNames, finished, summary);
}

}  // namespace korvo::measurement
