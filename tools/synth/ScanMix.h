#pragma once
// The scan capture: one scanner probing port after port of host after host, with a fixed number of probes
// in flight; each step advances one of them chosen at random. Every probe is a flow of its own, two or
// three segments long.

#include <cstdint>
#include <vector>

#include "tools/synth/CaptureSink.h"
#include "tools/synth/FrameEncoder.h"
#include "tools/synth/Random.h"
#include "tools/synth/ScanProbe.h"

namespace korvo::tools::synth {

class ScanMix {
public:
    ScanMix(std::uint32_t concurrency, Random& random);

    void step(FrameEncoder& encoder, CaptureSink& sink);

private:
    ScanProbe nextProbe();

    Random& random_;
    std::vector<ScanProbe> probes_;
    std::uint64_t started_ = 0;
};

}  // namespace korvo::tools::synth
