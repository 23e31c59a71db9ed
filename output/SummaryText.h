#pragma once
// The text of the summary file: each group's heading with a colon, a line "Name: value" for each of its
// figures and an empty line after the group.

#include <string>
#include <vector>

#include "output/ReportContent.h"

namespace korvo::measurement {

class SummaryText {
public:
    [[nodiscard]] static std::string of(const std::vector<ReportContent::Group>& groups);
};

}  // namespace korvo::measurement
