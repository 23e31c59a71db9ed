#pragma once
// The emitter of flows and the base of every receiver of them. A handler connects itself at the back of the
// flow table's source when it is built; the flow table calls handleSequenceEvaluator once per flow.

#include <memory>

#include "capture/Signal.h"
#include "flow/SequenceEvaluator.h"

namespace korvo::measurement {

struct SequenceEvaluatorSource {
    Signal<SequenceEvaluator> signal;
    // Set by a receiver that charts the anomalies over time: the figures then leave the capture time of
    // every anomaly they find on the flow (SequenceEvaluator::timesOf).
    bool chartsAnomalyTimes = false;
};

class SequenceEvaluatorHandler : public Receiver<SequenceEvaluator> {
public:
    explicit SequenceEvaluatorHandler(SequenceEvaluatorSource& source) : Receiver(source.signal) {}

    virtual void handleSequenceEvaluator(const SequenceEvaluator& flow) = 0;

    // A receiver of the same kind and settings with nothing counted, connected to `source`, to judge a share
    // of the flows on another thread; none when this receiver cannot be split so.
    [[nodiscard]] virtual std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& /*source*/) const {
        return nullptr;
    }
    // Takes over what `later`, an empty copy of this receiver, counted and listed, as though its flows had
    // been handed to this receiver after all of its own. Called only on receivers that make empty copies.
    virtual void absorb(SequenceEvaluatorHandler& /*later*/) {}

private:
    void handlePacket(const SequenceEvaluator& flow) final { handleSequenceEvaluator(flow); }
};

}  // namespace korvo::measurement
