#include "measurement/ConnectionMeasurement.h"

#include <string>
#include <utility>

#include "figure/DetailRow.h"

namespace korvo::measurement {

namespace {

using State = FlowConnection::State;

}  // namespace

ConnectionMeasurement::ConnectionMeasurement(SequenceEvaluatorSource& source, std::string reportedName,
                                             Kind kind, bool extendedStatistics, std::string_view flowLabel)
    : FlowFigure(source, std::move(reportedName), extendedStatistics && kind != Kind::kMedianRoundTrip),
      kind_(kind),
      extendedStatistics_(extendedStatistics),
      flowLabel_(flowLabel) {}

void ConnectionMeasurement::handleSequenceEvaluator(const SequenceEvaluator& flow,
                                                    const FlowVerdict& verdict) {
    // The judge follows the connection of every flow of a run that has these figures.
    const FlowConnection& connection = verdict.connection.value();
    const State state = connection.state;
    // Counts the flow, listed with `value`.
    const auto count = [&](std::string_view value) {
        ++partial.count;
        if (extended) {
            DetailRow(partial.rows).text("Tuple,").tuple(flow).text(flowLabel_).text(value).end();
        }
    };
    bool counts = false;
    switch (kind_) {
        case Kind::kRefused:
            counts = state == State::kREJ;
            break;
        case Kind::kUnanswered:
            counts = state == State::kS0;
            break;
        case Kind::kReset:
            counts = state == State::kRSTO || state == State::kRSTR;
            break;
        case Kind::kClosed:
            counts = state == State::kSF;
            break;
        case Kind::kZeroWindow:
            if (connection.allZeroWindows() != 0) {
                count(std::to_string(connection.allZeroWindows()));
            }
            return;
        case Kind::kMedianRoundTrip:
            if (connection.roundTrips) {
                partial.samples.push_back(connection.roundTrips->median);
            }
            return;
    }
    if (counts) {
        count(FlowConnection::nameOf(state));
    }
}

std::unique_ptr<SequenceEvaluatorHandler> ConnectionMeasurement::emptyCopy(
    SequenceEvaluatorSource& source) const {
    return std::make_unique<ConnectionMeasurement>(source, name, kind_, extendedStatistics_, flowLabel_);
}

std::string ConnectionMeasurement::getValue() const {
    return kind_ == Kind::kMedianRoundTrip ? partial.medianMillis() : std::to_string(partial.count);
}

}  // namespace korvo::measurement
