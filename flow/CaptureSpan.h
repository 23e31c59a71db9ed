#pragma once
// The earliest and latest capture time of a flow's segments, microseconds since 1970: capture order is file
// order, and a file's timestamps need not rise.

#include <cstdint>

namespace korvo::measurement {

struct CaptureSpan {
    std::int64_t first = 0;
    std::int64_t last = 0;
};

}  // namespace korvo::measurement
