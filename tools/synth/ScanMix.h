#pragma once
// The scan captures: one scanner probing port after port of host after host, with a fixed number of probes
// in flight; each step advances one of them chosen at random. Every probe is a flow of its own, two or
// three segments long. A random scan probes random ports of random addresses instead, and half of its
// probes go unanswered, so that its flows are one or two segments long and share no locality.

#include <cstdint>
#include <vector>

#include "tools/synth/CaptureSink.h"
#include "tools/synth/FrameEncoder.h"
#include "tools/synth/Random.h"
#include "tools/synth/ScanProbe.h"

namespace korvo::tools::synth {

class ScanMix {
public:
    ScanMix(std::uint32_t concurrency, bool randomTargets, Random& random);

    void step(FrameEncoder& encoder, CaptureSink& sink);

private:
    ScanProbe nextProbe();

    Random& random_;
    bool randomTargets_;
    ProbeOutcomes outcomes_;
    std::vector<ScanProbe> probes_;
    std::uint64_t started_ = 0;
};

}  // namespace korvo::tools::synth
