#include "flow/FlowVerdict.h"

namespace korvo::measurement {

void FlowVerdict::clear() {
    anomalies = {};
    for (DetailText& kindRows : rows) {
        kindRows.clear();
    }
    for (std::vector<std::int64_t>& kindTimes : times) {
        kindTimes.clear();
    }
    retransmissions.reset();
    retransmissionRows.clear();
    retransmissionTimes.clear();
    connection.reset();
}

}  // namespace korvo::measurement
