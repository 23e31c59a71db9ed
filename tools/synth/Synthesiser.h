#pragma once
// Writes one synthetic capture as the options ask, and beside it the file of its counts (the capture path
// with ".counts" appended).

#include "tools/synth/CaptureCounts.h"
#include "tools/synth/SynthOptions.h"

namespace korvo::tools::synth {

// Throws std::runtime_error when a file cannot be written.
CaptureCounts synthesise(const SynthOptions& options);

}  // namespace korvo::tools::synth
