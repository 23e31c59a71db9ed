#pragma once
// The retransmission figures, one receiver of the flows each: "NumberTCPRetransmissions" (one row per
// retransmission), "NumberTCPRetransmittedBytes", "NumberTCPSpuriousRetransmissions",
// "NumberTCPRetransmissionFlows" (one row per flow with any) and "MedianHandshakeRTTInMs" (over the flows
// whose handshake was captured, "nan" without one). Each reads the retransmissions that the judge left in
// the flow's verdict.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "measurement/FlowFigure.h"

namespace korvo::measurement {

class RetransmissionMeasurement : public FlowFigure {
public:
    enum class Kind : std::uint8_t {
        kRetransmissions,
        kRetransmittedBytes,
        kSpurious,
        kFlows,
        kMedianHandshake
    };

    RetransmissionMeasurement(SequenceEvaluatorSource& source, std::string reportedName, Kind kind,
                              bool extendedStatistics);

    void handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& verdict) override;
    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override;
    [[nodiscard]] std::string getValue() const override;

private:
    // Only the packet-level and the flow-level count list rows.
    static bool listsRows(Kind kind) { return kind == Kind::kRetransmissions || kind == Kind::kFlows; }

    Kind kind_;
    bool extendedStatistics_;
};

}  // namespace korvo::measurement
