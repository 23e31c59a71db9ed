#pragma once
// The lines that a run writes on standard error besides its failures: the warning about a link type that is
// not decoded, the coverage note about frames left out of the analysis, and the end of a reading that stopped
// at a damaged record.

#include <cstdint>
#include <string>

#include "capture/Decoding.h"
#include "capture/FrameCoverage.h"

namespace korvo::measurement {

class RunNotes {
public:
    // `onlyLinkType` when the captures have no other.
    [[nodiscard]] static std::string undecodedLinkType(int linkType, bool onlyLinkType);
    // Empty when no frame was left out; a kind of frame none of which was left out is not named.
    [[nodiscard]] static std::string coverage(const Decoding& decoding, const FrameCoverage& counts);
    [[nodiscard]] static std::string stoppedAtDamage(std::uint64_t framesTaken);
};

}  // namespace korvo::measurement
