#pragma once
// Writes the fuzzer's seed corpus: the small captures that the robustness tests build, in the formats and
// variants that the capture library reads, so that fuzzing starts from inputs that reach every level of
// the analysis.

#include <filesystem>

namespace korvo::fuzz {

class SeedCaptures {
public:
    // Writes every seed into `folder`, which must exist.
    static void write(const std::filesystem::path& folder);
};

}  // namespace korvo::fuzz
