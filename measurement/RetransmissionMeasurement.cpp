#include "measurement/RetransmissionMeasurement.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "figure/DetailRow.h"

namespace korvo::measurement {

RetransmissionMeasurement::RetransmissionMeasurement(SequenceEvaluatorSource& source,
                                                     std::string reportedName, Kind kind,
                                                     bool extendedStatistics)
    : FlowFigure(source, std::move(reportedName), extendedStatistics && listsRows(kind)),
      kind_(kind),
      extendedStatistics_(extendedStatistics) {}

void RetransmissionMeasurement::handleSequenceEvaluator(const SequenceEvaluator& flow,
                                                        const FlowVerdict& verdict) {
    // The judge looks for retransmissions in every flow of a run that has these figures.
    const FlowRetransmissions& found = verdict.retransmissions.value();
    switch (kind_) {
        case Kind::kRetransmissions:
            partial.count += found.retransmissions;
            if (extended) {
                partial.rows.append(verdict.retransmissionRows);
            }
            break;
        case Kind::kRetransmittedBytes:
            partial.count += found.retransmittedBytes;
            break;
        case Kind::kSpurious:
            partial.count += found.spurious;
            break;
        case Kind::kFlows:
            if (found.retransmissions != 0) {
                ++partial.count;
                if (extended) {
                    DetailRow(partial.rows)
                        .text("Tuple,")
                        .tuple(flow)
                        .text(",Number of Retransmissions,")
                        .number(found.retransmissions)
                        .end();
                }
            }
            break;
        case Kind::kMedianHandshake:
            if (found.handshake) {
                partial.samples.push_back(found.handshake->synToSynAck + found.handshake->synAckToAck);
            }
            break;
    }
}

std::unique_ptr<SequenceEvaluatorHandler> RetransmissionMeasurement::emptyCopy(
    SequenceEvaluatorSource& source) const {
    return std::make_unique<RetransmissionMeasurement>(source, name, kind_, extendedStatistics_);
}

std::string RetransmissionMeasurement::getValue() const {
    if (kind_ != Kind::kMedianHandshake) {
        return std::to_string(partial.count);
    }
    if (partial.samples.empty()) {
        return "nan";
    }
    std::vector<std::int64_t> times = partial.samples;
    const std::size_t middle = times.size() / 2;
    std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(middle), times.end());
    double micros = static_cast<double>(times[middle]);
    if (times.size() % 2 == 0) {
        const std::int64_t below =
            *std::max_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(middle));
        micros = (micros + static_cast<double>(below)) / 2;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", micros / 1000);
    return text;
}

}  // namespace korvo::measurement
