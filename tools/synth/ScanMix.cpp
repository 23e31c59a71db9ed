#include "tools/synth/ScanMix.h"

namespace korvo::tools::synth {

namespace {

constexpr std::uint32_t kScanner = 0x0A090001;      // 10.9.0.1
constexpr std::uint32_t kFirstTarget = 0xAC100000;  // 172.16.0.0/16
constexpr std::uint64_t kTargetCount = 65536;
constexpr std::uint64_t kPortsPerTarget = 1024;
// After every port of every target the scanner starts over from a new source port, so flows never repeat.
constexpr std::uint64_t kFirstScannerPort = 40000;
constexpr std::uint64_t kScannerPortCount = 20000;
// A random scan: half unanswered, and no reset after a SYN-ACK.
constexpr ProbeOutcomes kRandomScanOutcomes{0.4, 0.1, 0.0, false};

}  // namespace

ScanMix::ScanMix(std::uint32_t concurrency, bool randomTargets, Random& random)
    : random_(random),
      randomTargets_(randomTargets),
      outcomes_(randomTargets ? kRandomScanOutcomes : ProbeOutcomes{}),
      probes_(concurrency) {}

void ScanMix::step(FrameEncoder& encoder, CaptureSink& sink) {
    ScanProbe& probe = probes_[random_.below(probes_.size())];
    if (probe.done()) {
        probe = nextProbe();
    }
    probe.step(encoder, sink);
}

ScanProbe ScanMix::nextProbe() {
    const std::uint64_t index = started_++;
    if (randomTargets_) {
        const auto scannerPort =
            static_cast<std::uint16_t>(kFirstScannerPort + random_.below(kScannerPortCount));
        const std::uint32_t target = random_.next32();
        const auto targetPort = static_cast<std::uint16_t>(1 + random_.below(65535));
        return {kScanner, scannerPort, target, targetPort, outcomes_, random_};
    }
    const auto targetPort = static_cast<std::uint16_t>(1 + index % kPortsPerTarget);
    const auto target = kFirstTarget + static_cast<std::uint32_t>(index / kPortsPerTarget % kTargetCount);
    const auto scannerPort = static_cast<std::uint16_t>(
        kFirstScannerPort + index / (kPortsPerTarget * kTargetCount) % kScannerPortCount);
    return {kScanner, scannerPort, target, targetPort, outcomes_, random_};
}

}  // namespace korvo::tools::synth
