#include "measurement/RetransmissionMeasurement.h"

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
    return partial.medianMillis();
}

}  // namespace korvo::measurement
