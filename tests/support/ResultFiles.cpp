#include "support/ResultFiles.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace korvo::e2e {

namespace {

std::optional<std::string> readWhole(const std::filesystem::path& path) {
    if (!std::filesystem::is_regular_file(path)) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

ResultFiles::ResultFiles(std::filesystem::path folder, std::string prefix)
    : folder_(std::move(folder)), prefix_(std::move(prefix)) {}

std::filesystem::path ResultFiles::summaryPath() const {
    return folder_ / (prefix_ + ".Summary.txt");
}

std::filesystem::path ResultFiles::detailPath(const std::string& figure) const {
    return folder_ / (prefix_ + "." + figure + ".csv");
}

std::optional<std::string> ResultFiles::summary() const {
    return readWhole(summaryPath());
}

std::optional<std::string> ResultFiles::detail(const std::string& figure) const {
    return readWhole(detailPath(figure));
}

std::optional<std::string> ResultFiles::summaryValue(const std::string& figure) const {
    const std::optional<std::string> text = summary();
    if (!text) {
        return std::nullopt;
    }
    std::istringstream lines(*text);
    const std::string label = figure + ": ";
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(label)) {
            return line.substr(label.size());
        }
    }
    return std::nullopt;
}

std::vector<std::string> ResultFiles::fileNames() const {
    const std::filesystem::path prefixPath = folder_ / prefix_;
    const std::string start = prefixPath.filename().string() + ".";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(prefixPath.parent_path())) {
        std::string name = entry.path().filename().string();
        if (name.starts_with(start)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace korvo::e2e
