#pragma once
// The connection figures, one receiver of the flows each, reading how each flow's connection went off its
// verdict: the flows refused, never answered, reset after their handshake, closed cleanly ("Tuple,<flow>,
// State,<state>" rows) and stalled by a zero window ("Tuple,<flow>,Number of Zero Windows,<n>" rows), and
// the median over the flows of each flow's median data round trip ("nan" without one).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "measurement/FlowFigure.h"

namespace korvo::measurement {

class ConnectionMeasurement : public FlowFigure {
public:
    enum class Kind : std::uint8_t { kRefused, kUnanswered, kReset, kZeroWindow, kClosed, kMedianRoundTrip };

    // A counting figure's rows read "Tuple,<tuple><flowLabel><state or count>".
    ConnectionMeasurement(SequenceEvaluatorSource& source, std::string reportedName, Kind kind,
                          bool extendedStatistics, std::string_view flowLabel);

    void handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& verdict) override;
    [[nodiscard]] std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& source) const override;
    [[nodiscard]] std::string getValue() const override;

private:
    Kind kind_;
    bool extendedStatistics_;
    std::string_view flowLabel_;
};

}  // namespace korvo::measurement
