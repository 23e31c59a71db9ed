#include "flow/FlowConnection.h"

#include <array>

namespace korvo::measurement {

std::string_view FlowConnection::nameOf(State state) {
    static constexpr std::array<std::string_view, kStates> kNames = {
        "S0", "S1", "SF", "REJ", "S2", "S3", "RSTO", "RSTR", "RSTOS0", "RSTRH", "SH", "SHR", "OTH"};
    return kNames[static_cast<std::size_t>(state)];
}

}  // namespace korvo::measurement
