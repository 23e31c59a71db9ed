#include "app/MeasurementRun.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "app/ErrorText.h"
#include "app/InterruptWatcher.h"
#include "app/ProgressLine.h"
#include "app/ResultFile.h"
#include "app/ResultPlacement.h"
#include "app/RunFailure.h"
#include "app/Version.h"
#include "capture/FilterError.h"
#include "capture/IPPacketDispatcher.h"
#include "capture/LinkLayer.h"
#include "capture/PacketLoader.h"
#include "capture/ReadAhead.h"
#include "capture/TCPPacketDispatcher.h"
#include "flow/FlowJudge.h"
#include "flow/FlowVolumeTally.h"
#include "flow/SequenceEvaluatorMultimap.h"
#include "measurement/Figures.h"
#include "measurement/FlowHighlights.h"
#include "measurement/FlowTableRows.h"
#include "measurement/LoadTimeline.h"
#include "output/HtmlReport.h"
#include "output/JsonSummary.h"
#include "output/ReportContent.h"
#include "output/RunNotes.h"
#include "output/SummaryText.h"

namespace korvo::measurement {

namespace {

constexpr int kRunFailed = -2;
constexpr const char* kSummarySuffix = ".Summary.txt";
constexpr const char* kFlowTableSuffix = ".Flows.csv";
constexpr const char* kJsonSuffix = ".Summary.json";
constexpr const char* kReportSuffix = ".Report.html";

}  // namespace

void MeasurementRun::run(const RunOptions& options) {
    try {
        analyse(options);
    } catch (const RunFailure& failure) {
        std::cerr << failure.what() << std::endl;
        std::exit(kRunFailed);
    }
}

void MeasurementRun::analyse(const RunOptions& options) {
    const std::string& outputPrefix = options.prefix;
    const bool extended = options.extended;
    const Decoding& decoding = options.decoding;
    const FlowTableSettings& flowSettings = options.resources;
    const RunOutputs& outputs = options.outputs;
    // The dispatchers first: every receiver of a frame that needs to know what the frame carried sees it
    // after them.
    EthernetSignal ethernetSignal;
    // On more than one thread the frames are read into a signal of their own and analysed as copies.
    EthernetSignal readSignal;
    EthernetSignal& readFrames = flowSettings.threads > 1 ? readSignal : ethernetSignal;
    IPPacketDispatcher ipDispatcher(ethernetSignal);
    if (decoding.ipv6) {
        ipDispatcher.analyseIpv6();
    }
    if (decoding.tunnels) {
        ipDispatcher.decodeTunnels();
    }
    const JudgeSettings judging{
        .rows = extended, .times = outputs.report, .retransmissions = options.retransmissions};
    SequenceEvaluatorMultimap flowTable(ipDispatcher, flowSettings, judging);
    TCPPacketDispatcher tcpDispatcher(ipDispatcher);

    FigureSources sources{ethernetSignal, readFrames, ipDispatcher.outermost(), ipDispatcher.fragmentSource,
                          tcpDispatcher,  flowTable};
    for (const Figure& figure : Figures::all()) {
        if (figure.on == FigureSwitch::kAlways || options.retransmissions) {
            figures_.push_back({figure, figure.make(figure, sources, extended)});
        }
    }

    // Built only when asked for, so that a run without the flow table file does no work for it.
    std::optional<FlowVolumeTally> flowVolumes;
    std::optional<FlowTableRows> flowRows;
    if (options.flowTable) {
        flowRows.emplace(flowTable, flowVolumes.emplace(ipDispatcher), options.retransmissions);
    }
    // The report's charts and flow lists, likewise.
    std::optional<LoadTimeline> load;
    std::optional<FlowHighlights> highlights;
    if (outputs.report) {
        highlights.emplace(flowTable, load.emplace(ethernetSignal, tcpDispatcher));
    }

    std::optional<std::uint64_t> framesBeforeDamage;
    try {
        // First, so that every thread the run starts leaves SIGINT and SIGTERM to it.
        const InterruptWatcher interrupts;
        PacketLoader loader(options.inputs, options.filter);
        // An unusable prefix is reported before a long read, not after it.
        ResultFile::checkCreatable(outputPrefix + kSummarySuffix);
        // Each link type that is not decoded is noted once: those known now before the reading, those of
        // interfaces described later in a pcapng after it.
        std::vector<int> notedLinkTypes;
        const auto noteUndecodedLinkTypes = [&] {
            const std::vector<int> linkTypes = loader.linkTypes();
            for (const int linkType : linkTypes) {
                if (std::find(notedLinkTypes.begin(), notedLinkTypes.end(), linkType) ==
                    notedLinkTypes.end()) {
                    notedLinkTypes.push_back(linkType);
                    if (!LinkLayer::decodes(linkType, decoding.ipv6)) {
                        std::cerr << RunNotes::undecodedLinkType(linkType, linkTypes.size() == 1)
                                  << std::endl;
                    }
                }
            }
        };
        noteUndecodedLinkTypes();
        // Wiped when the run ends, also by a failure, before its message is written.
        ProgressLine progress = ProgressLine::onStandardError(loader.inputSize());
        const auto showProgress = [&] { progress.update(loader.bytesConsumed()); };
        if (flowSettings.threads > 1) {
            // The frames are analysed on a thread of their own while the next ones are read.
            ReadAhead readAhead(readSignal, ethernetSignal, decoding);
            loader.loadPackets(readSignal, showProgress);
            readAhead.finish();
        } else {
            loader.loadPackets(ethernetSignal, showProgress);
        }
        progress.finishReading(loader.bytesConsumed());
        noteUndecodedLinkTypes();
        if (flowVolumes) {
            flowVolumes->finish();
        }
        // The flow table's rows go to their file while the flows are handed out; it is placed with the
        // others.
        std::optional<ResultFile> flowsFile;
        if (flowRows) {
            flowsFile.emplace(outputPrefix + kFlowTableSuffix);
            flowsFile->write(flowRows->header());
            flowRows->streamTo([&flowsFile](std::string_view piece) { flowsFile->write(piece); });
        }
        flowTable.evaluateFlows();
        if (flowsFile) {
            flowRows->flush();
            flowsFile->finish();
        }
        ReportContent::Coverage coverage{ipDispatcher.coverage(), {}};
        coverage.note = RunNotes::coverage(decoding, coverage);
        std::vector<ResultFile*> finished;
        if (flowsFile) {
            finished.push_back(&*flowsFile);
        }
        std::vector<ReportContent::Group> groups = figureValues();
        std::optional<ResultFile> jsonFile;
        std::optional<ResultFile> reportFile;
        if (outputs.json || outputs.report) {
            ReportContent content;
            content.groups = groups;
            content.inputs = loader.inputsRead();
            content.framesRead = loader.framesTaken();
            content.damage = loader.damage();
            content.options = options;
            content.coverage = coverage;
            const Measurement& captureDuration = built("CaptureDuration");
            content.first = captureDuration.getEarliestCaptureTime();
            content.last = captureDuration.getLatestCaptureTime();
            content.duration = captureDuration.getCaptureDuration();
            if (outputs.json) {
                jsonFile.emplace(outputPrefix + kJsonSuffix);
                jsonFile->write(JsonSummary::text(content, kVersion));
                jsonFile->finish();
                finished.push_back(&*jsonFile);
            }
            if (outputs.report) {
                content.load = &*load;
                content.highlights = &*highlights;
                reportFile.emplace(outputPrefix + kReportSuffix);
                reportFile->write(HtmlReport::page(content, kVersion));
                reportFile->finish();
                finished.push_back(&*reportFile);
            }
        }
        writeResults(outputPrefix, groups, finished);
        progress.clear();
        if (!coverage.note.empty()) {
            std::cerr << coverage.note << std::endl;
        }
        if (loader.stoppedAtDamage()) {
            framesBeforeDamage = loader.framesTaken();
        }
    } catch (const FilterError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw RunFailure(
            "Out of memory: every TCP segment is kept (about 40 bytes each, 44 over IPv6) until the whole "
            "capture has been "
            "read, and this capture needs more memory than the system grants; a lower --max-memory moves "
            "them to temporary files sooner");
    } catch (const std::exception& error) {
        throw RunFailure(errorText(error));
    }
    // The results stand for the frames before the damage, but the capture was not read whole.
    if (framesBeforeDamage) {
        throw RunFailure(RunNotes::stoppedAtDamage(*framesBeforeDamage));
    }
}

const Measurement& MeasurementRun::built(std::string_view name) const {
    for (const BuiltFigure& figure : figures_) {
        if (figure.figure.name == name) {
            return *figure.measurement;
        }
    }
    throw std::logic_error("the run has no figure " + std::string(name));
}

std::vector<ReportContent::Group> MeasurementRun::figureValues() const {
    std::vector<ReportContent::Group> groups;
    for (const BuiltFigure& built : figures_) {
        const std::string heading(Figures::heading(built.figure.group));
        if (groups.empty() || groups.back().heading != heading) {
            groups.push_back({heading, {}});
        }
        groups.back().figures.push_back({&built.figure, built.measurement->getValue()});
    }
    return groups;
}

void MeasurementRun::writeResults(const std::string& outputPrefix,
                                  const std::vector<ReportContent::Group>& groups,
                                  const std::vector<ResultFile*>& finished) const {
    ResultFile summary(outputPrefix + kSummarySuffix);
    summary.write(SummaryText::of(groups));
    summary.finish();
    std::vector<std::unique_ptr<ResultFile>> details;
    std::vector<std::string> resultNames = {summary.name(), outputPrefix + kFlowTableSuffix,
                                            outputPrefix + kJsonSuffix, outputPrefix + kReportSuffix};
    // The detail files of every figure, those this run does not find too, so that an earlier run's go.
    for (const Figure& figure : Figures::all()) {
        resultNames.push_back(outputPrefix + "." + std::string(figure.name) + ".csv");
    }
    for (const BuiltFigure& built : figures_) {
        const Measurement& measurement = *built.measurement;
        if (measurement.isExtended()) {
            details.push_back(
                std::make_unique<ResultFile>(outputPrefix + "." + measurement.getName() + ".csv"));
            details.back()->write(measurement.getDetails());
            details.back()->finish();
        }
    }

    std::vector<ResultFile*> files = finished;
    for (const std::unique_ptr<ResultFile>& detail : details) {
        files.push_back(detail.get());
    }
    ResultPlacement::place(resultNames, files, summary);
}

}  // namespace korvo::measurement
