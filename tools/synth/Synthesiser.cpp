#include "tools/synth/Synthesiser.h"

#include <cstdint>
#include <fstream>
#include <stdexcept>

#include "tools/PcapWriter.h"
#include "tools/synth/CaptureSink.h"
#include "tools/synth/FrameEncoder.h"
#include "tools/synth/Random.h"
#include "tools/synth/ScanMix.h"
#include "tools/synth/TcpConnection.h"
#include "tools/synth/TrafficMix.h"

namespace korvo::tools::synth {

namespace {

template <typename Mix>
void fill(Mix& mix, FrameEncoder& encoder, CaptureSink& sink) {
    while (!sink.full()) {
        mix.step(encoder, sink);
    }
}

void writeCounts(const std::string& path, const CaptureCounts& counts) {
    std::ofstream out(path);
    counts.write(out);
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write counts file '" + path + "'");
    }
}

}  // namespace

CaptureCounts synthesise(const SynthOptions& options) {
    PcapWriter writer(options.output, options.snapLength);
    Random random(options.seed);
    FrameEncoder encoder;
    CaptureSink sink(writer, random,
                     {options.size, options.snapLength, options.truncateShare, options.tunnels});
    if (options.shape == Shape::Elephant) {
        // A backup or replication stream: one flow of any size, with the anomalies asked for.
        ConnectionPlan plan;
        plan.clientAddress = 0x0A000001;
        plan.serverAddress = 0x0A000002;
        plan.clientPort = 40000;
        plan.serverPort = 873;
        plan.responseBytes = std::uint64_t{1} << 62;
        TcpConnection connection(plan, random);
        while (!sink.full()) {
            connection.step(encoder, sink, random, options.mix.anomalies);
        }
    } else if (options.shape != Shape::Realistic) {
        ScanMix mix(options.mix.concurrency, options.shape == Shape::RandomScan, random);
        fill(mix, encoder, sink);
    } else {
        TrafficMix mix(options.mix, random);
        fill(mix, encoder, sink);
    }
    writer.close();
    CaptureCounts counts = sink.counts();
    counts.setFileBytes(writer.bytesWritten());
    writeCounts(options.output + ".counts", counts);
    return counts;
}

}  // namespace korvo::tools::synth
