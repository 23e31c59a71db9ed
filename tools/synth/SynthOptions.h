#pragma once
// The synthesiser's command line: what capture to write (size, seed, shape, output path) and the shares of
// anomalies and kinds of traffic in it.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/Encapsulator.h"
#include "tools/synth/TrafficMix.h"

namespace korvo::tools::synth {

enum class Shape { Realistic, Scan, RandomScan, Elephant };

struct SynthOptions {
    std::string output;
    std::uint64_t size = 0;
    std::uint64_t seed = 1;
    Shape shape = Shape::Realistic;
    std::uint32_t snapLength = 262144;
    double truncateShare = 0;
    MixSettings mix;
    // Encapsulations the frames are wrapped in, by turn.
    std::vector<Encapsulator::Kind> tunnels;
};

// "1500", "64K", "200M", "1G" (binary multiples; k, m, g also accepted) as a number of bytes. Throws
// std::invalid_argument for anything else.
std::uint64_t parseByteSize(const std::string& text);

// Returns nothing when --help was asked for, after printing the usage to `help`. Throws
// std::invalid_argument (with a message naming the option) for a missing, unknown or out-of-range option.
std::optional<SynthOptions> parseSynthOptions(int argc, const char* const argv[], std::ostream& help);

}  // namespace korvo::tools::synth
