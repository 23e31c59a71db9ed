#include "app/MeasurementRun.h"

#include <cstdlib>
#include <iostream>
#include <new>
#include <optional>

#include "app/ErrorText.h"
#include "app/InterruptWatcher.h"
#include "app/LinkTypeNotes.h"
#include "app/ProgressLine.h"
#include "app/ResultFile.h"
#include "app/ResultWriter.h"
#include "app/RunFailure.h"
#include "app/RunNetwork.h"
#include "capture/FilterError.h"
#include "capture/PacketLoader.h"
#include "output/ReportContent.h"
#include "output/RunNotes.h"

namespace korvo::measurement {

namespace {

constexpr int kRunFailed = -2;

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
    RunNetwork network(options);
    std::optional<std::uint64_t> framesBeforeDamage;
    try {
        // First, so that every thread the run starts leaves SIGINT and SIGTERM to it.
        const InterruptWatcher interrupts;
        PacketLoader loader(options.inputs, options.filter);
        // An unusable prefix is reported before a long read, not after it.
        ResultFile::checkCreatable(options.prefix + ResultWriter::kSummarySuffix);
        LinkTypeNotes linkTypeNotes(options.decoding);
        // Wiped when the run ends, also by a failure, before its message is written.
        ProgressLine progress = ProgressLine::onStandardError(loader.inputSize());
        network.read(loader, linkTypeNotes, progress);
        // The flow table's rows and the detail rows go to their files while the flows are handed out; the
        // files are placed with the others.
        std::optional<FlowTableRows>& flowRows = network.flowRows();
        std::optional<ResultFile> flowsFile;
        if (flowRows) {
            flowsFile.emplace(options.prefix + ResultWriter::kFlowTableSuffix);
            flowsFile->write(flowRows->header());
            flowRows->streamTo([&flowsFile](std::string_view piece) { flowsFile->write(piece); });
        }
        std::vector<std::unique_ptr<ResultFile>> details =
            ResultWriter::streamDetails(network.figures(), options.prefix);
        network.flowTable().evaluateFlows();
        if (flowsFile) {
            flowRows->flush();
            flowsFile->finish();
        }
        ReportContent content;
        content.options = options;
        content.coverage = {network.coverage(), {}};
        content.coverage.note = RunNotes::coverage(options.decoding, content.coverage);
        content.inputs = loader.inputsRead();
        content.framesRead = loader.framesTaken();
        content.damage = loader.damage();
        const Measurement& captureDuration = network.figure("CaptureDuration");
        content.first = captureDuration.getEarliestCaptureTime();
        content.last = captureDuration.getLatestCaptureTime();
        content.duration = captureDuration.getCaptureDuration();
        if (network.load()) {
            content.load = &network.load()->bins();
            content.highlights = &*network.highlights();
        }
        ResultWriter::write(network.figures(), content, flowsFile ? &*flowsFile : nullptr,
                            std::move(details));
        progress.clear();
        if (!content.coverage.note.empty()) {
            std::cerr << content.coverage.note << std::endl;
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

}  // namespace korvo::measurement
