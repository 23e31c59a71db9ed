#pragma once
// Runs a program to its end in a given folder, its output discarded, and reports how it ended and the peak
// resident memory the kernel accounted to it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace korvo::robustness {

struct PeakMemory {
    // As a shell reports it: the exit code, or 128 + the signal's number.
    int exitStatus = 0;
    std::uint64_t peakBytes = 0;
};

class PeakMemoryRun {
public:
    [[nodiscard]] static PeakMemory run(const std::filesystem::path& binary,
                                        const std::vector<std::string>& arguments,
                                        const std::filesystem::path& folder);
};

}  // namespace korvo::robustness
