#pragma once
// Writes capture times as TimeText::writeIsoTime does, keeping the text of the last seconds it wrote: the
// rows of a table come by the million and mostly fall in few seconds, so that only the microseconds are new.

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace korvo::measurement {

class IsoTimeText {
public:
    // Writes `micros` (microseconds since 1970, a time between the years 0 and 9999) at `out`, which has
    // room for TimeText::kMostTextLength characters; returns its end.
    char* write(char* out, std::int64_t micros);

private:
    // "2024-01-01T00:00:00": the text of a second, always this long.
    static constexpr std::size_t kSecondLength = 19;
    // Seconds are kept by their number modulo this.
    static constexpr std::size_t kKept = 64;

    struct KeptSecond {
        std::int64_t second = std::numeric_limits<std::int64_t>::min();
        std::array<char, kSecondLength> text{};
    };
    std::array<KeptSecond, kKept> kept_{};
};

}  // namespace korvo::measurement
