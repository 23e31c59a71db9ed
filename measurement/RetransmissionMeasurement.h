#pragma once
// The retransmission figures, one receiver of the flows each: "NumberTCPRetransmissions" (one row per
// retransmission), "NumberTCPRetransmittedBytes", "NumberTCPSpuriousRetransmissions",
// "NumberTCPRetransmissionFlows" (one row per flow with any) and "MedianHandshakeRTTInMs" (over the flows
// whose handshake was captured, "nan" without one). The first built finds each flow's retransmissions and
// leaves them on the flow, where the others and the flow table's rows read them.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "flow/RetransmissionFinder.h"
#include "flow/SequenceEvaluatorHandler.h"
#include "report/Measurement.h"

namespace korvo::measurement {

class RetransmissionMeasurement : public SequenceEvaluatorHandler, public Measurement {
public:
    enum class Figure : std::uint8_t {
        kRetransmissions,
        kRetransmittedBytes,
        kSpurious,
        kFlows,
        kMedianHandshake
    };

    static constexpr std::array<Figure, 5> kFigures = {Figure::kRetransmissions, Figure::kRetransmittedBytes,
                                                       Figure::kSpurious, Figure::kFlows,
                                                       Figure::kMedianHandshake};

    // Built in the order of kFigures, the first before any other receiver that reads what it leaves.
    RetransmissionMeasurement(SequenceEvaluatorSource& source, Figure figure, bool extendedStatistics);

    // The figure's name in the summary and in its detail file's name.
    static const char* nameOf(Figure figure);

    void handleSequenceEvaluator(const SequenceEvaluator& flow) override;
    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override;
    void absorb(SequenceEvaluatorHandler& later) override;
    [[nodiscard]] std::string getValue() const override;

private:
    // Only the packet-level and the flow-level count list rows.
    static bool listsRows(Figure figure) {
        return figure == Figure::kRetransmissions || figure == Figure::kFlows;
    }

    Figure figure_;
    bool extendedStatistics_;
    // Whether the flows' source wants the retransmissions' times left on each flow.
    const bool& chartsTimes_;
    RetransmissionFinder finder_;
    std::uint64_t tally_ = 0;
    // The whole handshake, in microseconds, of every flow whose handshake was captured.
    std::vector<std::int64_t> handshakes_;
};

}  // namespace korvo::measurement
