#pragma once
// What the flow table keeps per flow while the capture is read: the tuple of the flow's first packet, which
// fixes its forward direction, and how many segments each direction has filed.

#include <cstdint>

#include "capture/FlowTuple.h"

namespace korvo::measurement {

struct FlowState {
    FlowTuple tuple;
    std::uint32_t forwardCount = 0;
    std::uint32_t reverseCount = 0;
};

}  // namespace korvo::measurement
