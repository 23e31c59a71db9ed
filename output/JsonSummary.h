#pragma once
// PREFIX.Summary.json: the summary's figures as JSON numbers (null for nan and inf, the duration in seconds
// beside its text), with what was read, the options, the coverage counts, the span and the version, for
// scripts that watch captures. Its shape is described by the JSON Schema kept with the tests.

#include <string>
#include <string_view>

#include "output/ReportContent.h"

namespace korvo::measurement {

class JsonSummary {
public:
    [[nodiscard]] static std::string text(const ReportContent& content, std::string_view version);
    // A figure's summary text as a JSON value: the text itself when it is a JSON number, else null.
    [[nodiscard]] static std::string number(std::string_view value);
};

}  // namespace korvo::measurement
