#include "measurement/RetransmissionMeasurement.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "figure/DetailRow.h"

namespace korvo::measurement {

RetransmissionMeasurement::RetransmissionMeasurement(SequenceEvaluatorSource& source,
                                                     std::string reportedName, Kind kind,
                                                     bool extendedStatistics)
    : SequenceEvaluatorHandler(source),
      Measurement(std::move(reportedName), extendedStatistics && listsRows(kind)),
      kind_(kind),
      extendedStatistics_(extendedStatistics) {}

void RetransmissionMeasurement::handleSequenceEvaluator(const SequenceEvaluator& flow,
                                                        const FlowVerdict& verdict) {
    // The judge looks for retransmissions in every flow of a run that has these figures.
    const FlowRetransmissions& found = verdict.retransmissions.value();
    switch (kind_) {
        case Kind::kRetransmissions:
            tally_ += found.retransmissions;
            if (extended) {
                details.append(verdict.retransmissionRows);
            }
            break;
        case Kind::kRetransmittedBytes:
            tally_ += found.retransmittedBytes;
            break;
        case Kind::kSpurious:
            tally_ += found.spurious;
            break;
        case Kind::kFlows:
            if (found.retransmissions != 0) {
                ++tally_;
                if (extended) {
                    DetailRow(details)
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
                handshakes_.push_back(found.handshake->synToSynAck + found.handshake->synAckToAck);
            }
            break;
    }
}

std::unique_ptr<SequenceEvaluatorHandler> RetransmissionMeasurement::emptyCopy(
    SequenceEvaluatorSource& source) const {
    return std::make_unique<RetransmissionMeasurement>(source, name, kind_, extendedStatistics_);
}

void RetransmissionMeasurement::absorb(SequenceEvaluatorHandler& later) {
    auto& copy = static_cast<RetransmissionMeasurement&>(later);
    tally_ += copy.tally_;
    details.append(copy.details);
    handshakes_.insert(handshakes_.end(), copy.handshakes_.begin(), copy.handshakes_.end());
}

std::string RetransmissionMeasurement::getValue() const {
    if (kind_ != Kind::kMedianHandshake) {
        return std::to_string(tally_);
    }
    if (handshakes_.empty()) {
        return "nan";
    }
    std::vector<std::int64_t> times = handshakes_;
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
