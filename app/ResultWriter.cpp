#include "app/ResultWriter.h"

#include <memory>
#include <optional>

#include "app/ResultPlacement.h"
#include "app/Version.h"
#include "output/HtmlReport.h"
#include "output/JsonSummary.h"
#include "output/SummaryText.h"

namespace korvo::measurement {

std::vector<std::unique_ptr<ResultFile>> ResultWriter::streamDetails(
    const std::vector<RunNetwork::BuiltFigure>& figures, const std::string& prefix) {
    std::vector<std::unique_ptr<ResultFile>> details;
    for (const RunNetwork::BuiltFigure& built : figures) {
        Measurement& measurement = *built.measurement;
        if (measurement.isExtended()) {
            details.push_back(std::make_unique<ResultFile>(prefix + "." + measurement.getName() + ".csv"));
            ResultFile& file = *details.back();
            measurement.streamDetailsTo([&file](std::string_view piece) { file.write(piece); });
        }
    }
    return details;
}

void ResultWriter::write(const std::vector<RunNetwork::BuiltFigure>& figures, ReportContent& content,
                         ResultFile* flowsFile, std::vector<std::unique_ptr<ResultFile>> details) {
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
    std::vector<std::string> resultNames = {summary.name(), prefix + kFlowTableSuffix, prefix + kJsonSuffix,
                                            prefix + kReportSuffix};
    // The detail files of every figure, those this run does not find too, so that an earlier run's go.
    for (const Figure& figure : Figures::all()) {
        resultNames.push_back(prefix + "." + std::string(figure.name) + ".csv");
    }
    for (const RunNetwork::BuiltFigure& built : figures) {
        // What the figure still holds, the rows since they last went to the file, goes there; the figure
        // then keeps no hold on a file that is about to close.
        built.measurement->endDetailStream();
    }
    for (const std::unique_ptr<ResultFile>& detail : details) {
        detail->finish();
    }
    for (const std::unique_ptr<ResultFile>& detail : details) {
        finished.push_back(detail.get());
    }
    ResultPlacement::place(resultNames, finished, summary);
}

}  // namespace korvo::measurement
