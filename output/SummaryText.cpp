#include "output/SummaryText.h"

namespace korvo::measurement {

std::string SummaryText::of(const std::vector<ReportContent::Group>& groups) {
    std::string text;
    for (const ReportContent::Group& group : groups) {
        text += group.heading;
        text += ":\n";
        for (const ReportContent::FigureValue& shown : group.figures) {
            text += shown.figure->name;
            text += ": ";
            text += shown.value;
            text += '\n';
        }
        text += '\n';
    }
    return text;
}

}  // namespace korvo::measurement
