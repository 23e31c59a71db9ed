#pragma once
// Reviewed expected outputs, kept as files in tests/e2e/data: a run's output is compared with its baseline
// file, or, where WIRETALLY_UPDATE_BASELINES is set, written over it (check the difference with git diff
// before committing it).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "e2e/ToolTest.h"
#include "support/ResultFiles.h"

namespace korvo::e2e {

// Everything an extended run with the flow table wrote, one file after the other under its name.
inline std::string allResults(const ResultFiles& files) {
    std::string all = "== Summary.txt\n" + files.summary().value_or("(missing)\n");
    for (const std::string& figure : kDetailFigures) {
        all += "== " + figure + ".csv\n" + files.detail(figure).value_or("(missing)\n");
    }
    return all + "== Flows.csv\n" + files.detail("Flows").value_or("(missing)\n");
}

// The lines of one top-level object of a JSON summary, from its key to its closing brace.
inline std::string jsonSection(const std::filesystem::path& json, const std::string& key) {
    std::ifstream file(json, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    const std::size_t start = text.find("  \"" + key + "\": {");
    if (start == std::string::npos) {
        return "(missing)\n";
    }
    return text.substr(start, text.find("\n  }", start) + 4 - start) + "\n";
}

inline void expectMatchesBaseline(const std::string& actual, const std::string& baselineName) {
    const std::filesystem::path baseline = std::filesystem::path(WIRETALLY_E2E_DATA) / baselineName;
    if (std::getenv("WIRETALLY_UPDATE_BASELINES") != nullptr) {
        std::ofstream(baseline, std::ios::binary) << actual;
    }
    std::ifstream stored(baseline, std::ios::binary);
    EXPECT_EQ(actual, std::string(std::istreambuf_iterator<char>(stored), {}))
        << "the baseline: " << baseline;
}

}  // namespace korvo::e2e
