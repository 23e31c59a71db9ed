#pragma once
// What each figure of the summary means, as the report shows it: a one-line meaning beside the value and a
// longer explanation below, which the figure's name links to.

#include <string_view>

namespace korvo::measurement {

class FigureGuide {
public:
    struct Entry {
        std::string_view name;
        std::string_view meaning;
        std::string_view explanation;
    };
    // The entry of the figure `name`; one with empty texts for a name it does not know.
    [[nodiscard]] static Entry of(std::string_view name);
};

}  // namespace korvo::measurement
