#include "figure/IsoTimeText.h"

#include <algorithm>

#include "figure/TimeText.h"
#include "net/WireNumbers.h"

namespace korvo::measurement {

namespace {

constexpr std::int64_t kMicrosPerSecond = 1'000'000;

}  // namespace

char* IsoTimeText::write(char* out, std::int64_t micros) {
    // Seconds before 1970 count down: the microseconds within a second are never negative.
    std::int64_t second = micros / kMicrosPerSecond;
    std::int64_t micro = micros % kMicrosPerSecond;
    if (micro < 0) {
        micro += kMicrosPerSecond;
        --second;
    }
    KeptSecond& kept = kept_[static_cast<std::uint64_t>(second) % kKept];
    if (kept.second != second) {
        std::array<char, TimeText::kMostTextLength> text{};
        TimeText::writeIsoTime(text.data(), net::kEpoch + boost::posix_time::seconds(second));
        std::copy_n(text.data(), kSecondLength, kept.text.data());
        kept.second = second;
    }
    out = std::copy_n(kept.text.data(), kSecondLength, out);
    *out++ = '.';
    for (std::int64_t place = kMicrosPerSecond / 10; place != 0; place /= 10) {
        *out++ = static_cast<char>('0' + micro / place % 10);
    }
    *out++ = 'Z';
    return out;
}

}  // namespace korvo::measurement
