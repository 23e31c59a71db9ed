#include "measurement/RetransmissionMeasurement.h"

#include <algorithm>
#include <cstdio>

#include "report/DetailRow.h"

namespace korvo::measurement {

RetransmissionMeasurement::RetransmissionMeasurement(SequenceEvaluatorSource& source, Figure figure,
                                                     bool extendedStatistics)
    : SequenceEvaluatorHandler(source),
      Measurement(nameOf(figure), extendedStatistics && listsRows(figure)),
      figure_(figure),
      extendedStatistics_(extendedStatistics),
      chartsTimes_(source.chartsAnomalyTimes),
      finder_(figure == Figure::kRetransmissions && extendedStatistics) {}

const char* RetransmissionMeasurement::nameOf(Figure figure) {
    switch (figure) {
        case Figure::kRetransmissions:
            return "NumberTCPRetransmissions";
        case Figure::kRetransmittedBytes:
            return "NumberTCPRetransmittedBytes";
        case Figure::kSpurious:
            return "NumberTCPSpuriousRetransmissions";
        case Figure::kFlows:
            return "NumberTCPRetransmissionFlows";
        case Figure::kMedianHandshake:
            break;
    }
    return "MedianHandshakeRTTInMs";
}

void RetransmissionMeasurement::handleSequenceEvaluator(const SequenceEvaluator& flow) {
    if (!flow.recallRetransmissions()) {
        flow.rememberRetransmissions(
            finder_.find(flow, details, chartsTimes_ ? &flow.retransmissionTimes() : nullptr));
    }
    const FlowRetransmissions& found = *flow.recallRetransmissions();
    switch (figure_) {
        case Figure::kRetransmissions:
            tally_ += found.retransmissions;
            break;
        case Figure::kRetransmittedBytes:
            tally_ += found.retransmittedBytes;
            break;
        case Figure::kSpurious:
            tally_ += found.spurious;
            break;
        case Figure::kFlows:
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
        case Figure::kMedianHandshake:
            if (found.handshake) {
                handshakes_.push_back(found.handshake->synToSynAck + found.handshake->synAckToAck);
            }
            break;
    }
}

std::unique_ptr<SequenceEvaluatorHandler> RetransmissionMeasurement::emptyCopy(
    SequenceEvaluatorSource& source) const {
    return std::make_unique<RetransmissionMeasurement>(source, figure_, extendedStatistics_);
}

void RetransmissionMeasurement::absorb(SequenceEvaluatorHandler& later) {
    auto& copy = static_cast<RetransmissionMeasurement&>(later);
    tally_ += copy.tally_;
    details.append(copy.details);
    handshakes_.insert(handshakes_.end(), copy.handshakes_.begin(), copy.handshakes_.end());
}

std::string RetransmissionMeasurement::getValue() const {
    if (figure_ != Figure::kMedianHandshake) {
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
