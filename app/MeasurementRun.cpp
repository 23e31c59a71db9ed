#include "app/MeasurementRun.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>
#include <optional>

#include "app/ErrorText.h"
#include "app/HtmlReport.h"
#include "app/InterruptWatcher.h"
#include "app/JsonSummary.h"
#include "app/ProgressLine.h"
#include "app/ReportContent.h"
#include "app/ResultFile.h"
#include "app/ResultPlacement.h"
#include "app/RunFailure.h"
#include "app/RunNotes.h"
#include "app/Version.h"
#include "capture/FilterError.h"
#include "capture/IPPacketDispatcher.h"
#include "capture/LinkLayer.h"
#include "capture/PacketLoader.h"
#include "capture/ReadAhead.h"
#include "capture/TCPPacketDispatcher.h"
#include "flow/FlowVolumeTally.h"
#include "flow/SequenceEvaluatorMultimap.h"
#include "measurement/CaptureDuration.h"
#include "measurement/FlowHighlights.h"
#include "measurement/FlowTableRows.h"
#include "measurement/LoadTimeline.h"
#include "measurement/NumberGapsInTCPFlows.h"
#include "measurement/NumberIPFragments.h"
#include "measurement/NumberJumboPackets.h"
#include "measurement/NumberOutOfOrderTCPPackets.h"
#include "measurement/NumberSimplexStreams.h"
#include "measurement/NumberTCPFlowRepeats.h"
#include "measurement/NumberTCPFlows.h"
#include "measurement/NumberTCPGapFlows.h"
#include "measurement/NumberTCPOutOfOrderFlows.h"
#include "measurement/NumberTCPRepeats.h"
#include "measurement/RetransmissionMeasurement.h"
#include "measurement/TotalVolume.h"
#include "measurement/TotalVolumeTCPInB.h"
#include "measurement/TrafficLoadInMbps.h"

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
    // The build order is also the order in which every emitter calls its receivers, and the order of the
    // lines inside each group of the summary.
    EthernetSignal ethernetSignal;
    IPPacketDispatcher ipDispatcher(ethernetSignal);
    if (decoding.ipv6) {
        ipDispatcher.analyseIpv6();
    }
    if (decoding.tunnels) {
        ipDispatcher.decodeTunnels();
    }
    SequenceEvaluatorMultimap flowTable(ipDispatcher, flowSettings);
    TCPPacketDispatcher tcpDispatcher(ipDispatcher);

    TotalVolume totalVolume(ethernetSignal);
    volumeMeasurements.emplace_back(totalVolume);
    TrafficLoadInMbps trafficLoad(ethernetSignal);
    volumeMeasurements.emplace_back(trafficLoad);
    CaptureDuration captureDuration(ethernetSignal);
    volumeMeasurements.emplace_back(captureDuration);
    TotalVolumeTCPInB totalVolumeTcp(tcpDispatcher);
    volumeMeasurements.emplace_back(totalVolumeTcp);
    NumberTCPFlows tcpFlows(flowTable, extended);
    volumeMeasurements.emplace_back(tcpFlows);

    NumberJumboPackets jumboPackets(ipDispatcher.outermost(), extended);
    packetMeasurements.emplace_back(jumboPackets);
    NumberIPFragments ipFragments(ipDispatcher.fragmentSource, extended);
    packetMeasurements.emplace_back(ipFragments);
    NumberGapsInTCPFlows gaps(flowTable, extended);
    packetMeasurements.emplace_back(gaps);
    NumberOutOfOrderTCPPackets outOfOrderPackets(flowTable, extended);
    packetMeasurements.emplace_back(outOfOrderPackets);
    NumberTCPFlowRepeats repeatFlows(flowTable, extended);
    flowMeasurements.emplace_back(repeatFlows);
    NumberTCPGapFlows gapFlows(flowTable, extended);
    flowMeasurements.emplace_back(gapFlows);
    NumberTCPOutOfOrderFlows outOfOrderFlows(flowTable, extended);
    flowMeasurements.emplace_back(outOfOrderFlows);
    NumberTCPRepeats repeats(flowTable, extended);
    packetMeasurements.emplace_back(repeats);
    NumberSimplexStreams simplexFlows(flowTable, extended);
    flowMeasurements.emplace_back(simplexFlows);
    std::vector<std::unique_ptr<RetransmissionMeasurement>> retransmissionFigures;
    if (options.retransmissions) {
        for (const RetransmissionMeasurement::Figure figure : RetransmissionMeasurement::kFigures) {
            retransmissionFigures.push_back(
                std::make_unique<RetransmissionMeasurement>(flowTable, figure, extended));
            retransmissionMeasurements.emplace_back(*retransmissionFigures.back());
        }
    }

    // Built only when asked for, so that a run without the flow table file does no work for it. The rows
    // read the anomaly counts the figures leave on each flow, so they come after every figure.
    std::optional<FlowVolumeTally> flowVolumes;
    std::optional<FlowTableRows> flowRows;
    if (options.flowTable) {
        flowRows.emplace(flowTable, flowVolumes.emplace(ipDispatcher), options.retransmissions);
    }
    // The report's charts and flow lists, likewise; they read what the figures leave on each flow.
    std::optional<LoadTimeline> load;
    std::optional<FlowHighlights> highlights;
    if (outputs.report) {
        highlights.emplace(flowTable, load.emplace(ethernetSignal, totalVolumeTcp), options.retransmissions);
    }

    std::optional<std::uint64_t> framesBeforeDamage;
    try {
        // First, so that every thread the run starts leaves SIGINT and SIGTERM to it.
        const InterruptWatcher interrupts;
        // The truncated frames are always listed, with or without extended statistics.
        PacketLoader loader(options.inputs, options.filter, true);
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
            EthernetSignal readSignal;
            ReadAhead readAhead(readSignal, ethernetSignal, decoding);
            loader.loadPackets(readSignal, showProgress);
            readAhead.finish();
        } else {
            loader.loadPackets(ethernetSignal, showProgress);
        }
        progress.finishReading(loader.bytesConsumed());
        noteUndecodedLinkTypes();
        packetMeasurements.emplace_back(loader);
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
        std::optional<ResultFile> jsonFile;
        std::optional<ResultFile> reportFile;
        if (outputs.json || outputs.report) {
            ReportContent content;
            for (const NamedGroup& group : namedGroups()) {
                if (group.members.empty()) {
                    continue;
                }
                std::string heading = group.heading;
                heading.pop_back();
                content.groups.push_back({heading, {}});
                for (const Measurement& measurement : group.members) {
                    content.groups.back().figures.push_back({measurement.getName(), measurement.getValue()});
                }
            }
            content.inputs = loader.inputsRead();
            content.framesRead = loader.framesTaken();
            content.damage = loader.damage();
            content.options = options;
            content.coverage = coverage;
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
        writeResults(outputPrefix, finished);
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

std::vector<MeasurementRun::NamedGroup> MeasurementRun::namedGroups() const {
    return {{"Volume Measurements:", volumeMeasurements},
            {"Flow Measurements:", flowMeasurements},
            {"Packet Measurements:", packetMeasurements},
            {"Retransmission Measurements:", retransmissionMeasurements}};
}

void MeasurementRun::writeResults(const std::string& outputPrefix,
                                  const std::vector<ResultFile*>& finished) const {
    ResultFile summary(outputPrefix + kSummarySuffix);
    std::vector<std::unique_ptr<ResultFile>> details;
    std::vector<std::string> resultNames = {summary.name(), outputPrefix + kFlowTableSuffix,
                                            outputPrefix + kJsonSuffix, outputPrefix + kReportSuffix};
    // The detail files of the figures a run finds only when asked, so that an earlier run's go too.
    for (const RetransmissionMeasurement::Figure figure : RetransmissionMeasurement::kFigures) {
        resultNames.push_back(outputPrefix + "." + RetransmissionMeasurement::nameOf(figure) + ".csv");
    }
    for (const NamedGroup& group : namedGroups()) {
        if (group.members.empty()) {
            continue;
        }
        summary.write(group.heading);
        summary.endLine();
        for (const Measurement& measurement : group.members) {
            const std::string value = measurement.getValue();
            summary.write(measurement.getName());
            summary.write(": ");
            summary.write(value);
            summary.endLine();
            resultNames.push_back(outputPrefix + "." + measurement.getName() + ".csv");
            if (measurement.isExtended()) {
                details.push_back(std::make_unique<ResultFile>(resultNames.back()));
                details.back()->write(measurement.getDetails());
                details.back()->finish();
            }
        }
        summary.endLine();
    }
    summary.finish();

    std::vector<ResultFile*> files = finished;
    for (const std::unique_ptr<ResultFile>& detail : details) {
        files.push_back(detail.get());
    }
    ResultPlacement::place(resultNames, files, summary);
}

}  // namespace korvo::measurement
