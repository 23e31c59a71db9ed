#pragma once
// Runs the tool (optionally through a wrapper command) in a fresh temporary folder of its own and records
// how the process ended and what it printed; the folder and everything in it go when the object does.

#include <filesystem>
#include <string>
#include <vector>

namespace korvo::e2e {

struct RunResult {
    // As a shell reports it: the exit code (255 for -1, 254 for -2), or 128 + the signal's number.
    int exitStatus = 0;
    std::string standardOutput;
    std::string standardError;
    bool timedOut = false;
};

class ToolRun {
public:
    explicit ToolRun(std::filesystem::path binary);
    ~ToolRun();
    ToolRun(const ToolRun&) = delete;
    ToolRun& operator=(const ToolRun&) = delete;

    // The working folder of every run; empty when the object is made.
    [[nodiscard]] const std::filesystem::path& folder() const { return folder_; }
    [[nodiscard]] std::filesystem::path path(const std::string& name) const { return folder_ / name; }

    // The tool with these arguments. Where they ask for the JSON summary, the file written is checked
    // against its schema, and a test failure is added when it does not follow it.
    [[nodiscard]] RunResult run(const std::vector<std::string>& arguments) const;
    // The command `wrapper`, followed by the tool's path and the arguments (for `sh -c '...'`).
    [[nodiscard]] RunResult runWrapped(const std::vector<std::string>& wrapper,
                                       const std::vector<std::string>& arguments) const;

private:
    void checkJsonSummary(const std::vector<std::string>& arguments) const;

    std::filesystem::path binary_;
    std::filesystem::path folder_;
};

}  // namespace korvo::e2e
