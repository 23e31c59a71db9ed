#pragma once
// Runs the whole analysis inside the test process, on a capture in a scratch folder of its own, as the
// command line does but without ending the process: how the run ended, what it printed on standard output
// and which result files it left. Many thousands of runs take seconds this way, where starting the tool for
// each would take minutes under the sanitizers.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "support/ResultFiles.h"

namespace korvo::robustness {

struct RunOutcome {
    bool succeeded = false;
    // The text that the command line would print on standard error, when the run failed.
    std::string failure;
    std::string standardOutput;
};

class InProcessRun {
public:
    static constexpr const char* kPrefix = "out";

    InProcessRun();
    ~InProcessRun();
    InProcessRun(const InProcessRun&) = delete;
    InProcessRun& operator=(const InProcessRun&) = delete;

    // Replaces the capture that analyse() reads.
    void writeCapture(std::span<const std::uint8_t> bytes) const;
    [[nodiscard]] std::filesystem::path capturePath() const { return folder_ / "in.pcap"; }
    // Removes the result files of the previous run, then analyses the capture.
    [[nodiscard]] RunOutcome analyse(bool extended) const;
    [[nodiscard]] const e2e::ResultFiles& results() const { return results_; }

    [[nodiscard]] static std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);

private:
    std::filesystem::path folder_;
    e2e::ResultFiles results_;
};

}  // namespace korvo::robustness
