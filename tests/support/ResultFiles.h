#pragma once
// Reads the result files that a run of the tool wrote under one output prefix: the summary, the detail files,
// the value of a figure in the summary, and which files there are at all.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korvo::e2e {

class ResultFiles {
public:
    // `prefix` as given on the command line, taken relative to `folder`.
    ResultFiles(std::filesystem::path folder, std::string prefix);

    [[nodiscard]] std::filesystem::path summaryPath() const;
    [[nodiscard]] std::filesystem::path detailPath(const std::string& figure) const;

    // The whole file, byte for byte; nothing when it does not exist.
    [[nodiscard]] std::optional<std::string> summary() const;
    [[nodiscard]] std::optional<std::string> detail(const std::string& figure) const;
    // The text right of "figure: " on the figure's summary line; nothing when there is no such line.
    [[nodiscard]] std::optional<std::string> summaryValue(const std::string& figure) const;
    // The names, sorted, of the files in the prefix's folder that start with the prefix's last part and ".".
    [[nodiscard]] std::vector<std::string> fileNames() const;

private:
    std::filesystem::path folder_;
    std::string prefix_;
};

}  // namespace korvo::e2e
