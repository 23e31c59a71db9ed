#pragma once
// Notes on standard error, once each, the link types of a run's captures that are not decoded: their frames
// count only in the frame-level figures.

#include <vector>

#include "capture/Decoding.h"

namespace korvo::measurement {

class LinkTypeNotes {
public:
    explicit LinkTypeNotes(const Decoding& decoding) : decoding_(decoding) {}

    // Notes those of `linkTypes` (all the captures' link types known so far) not noted before.
    void note(const std::vector<int>& linkTypes);
    // Every link type seen, in the order first seen.
    [[nodiscard]] const std::vector<int>& seen() const { return seen_; }

private:
    Decoding decoding_;
    std::vector<int> seen_;
};

}  // namespace korvo::measurement
