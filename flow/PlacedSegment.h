#pragma once
// One segment as a walk over a flow meets it: its record, its place in its direction's capture order and its
// unwrapped sequence position; in walks in capture order also whether it begins a new connection on the
// flow's addresses and ports, and whether it is a keep-alive or a zero-window probe. The record is valid
// during the visit only.

#include <cstdint>
#include <type_traits>
#include <utility>

#include "flow/SegmentRecord.h"

namespace korvo::measurement {

struct PlacedSegment {
    const SegmentRecord& segment;
    std::uint32_t place;
    std::int64_t position;
    bool startsConnection;
    bool keepAliveOrProbe;
};

// Calls a walk's visitor and tells whether the walk goes on: a visitor that returns false ends it.
template <typename Visit, typename... Arguments>
bool visitAndGoOn(Visit& visit, Arguments&&... arguments) {
    if constexpr (std::is_same_v<std::invoke_result_t<Visit&, Arguments...>, bool>) {
        return visit(std::forward<Arguments>(arguments)...);
    } else {
        visit(std::forward<Arguments>(arguments)...);
        return true;
    }
}

}  // namespace korvo::measurement
