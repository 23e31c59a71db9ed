#pragma once
// The emitter of flows and the base of every receiver of them. A handler connects itself at the back of the
// flow table's source when it is built; the flow table calls handleSequenceEvaluator once per flow.

#include "capture/Signal.h"
#include "flow/SequenceEvaluator.h"

namespace korvo::measurement {

struct SequenceEvaluatorSource {
    Signal<SequenceEvaluator> signal;
};

class SequenceEvaluatorHandler : public Receiver<SequenceEvaluator> {
public:
    explicit SequenceEvaluatorHandler(SequenceEvaluatorSource& source) : Receiver(source.signal) {}

    virtual void handleSequenceEvaluator(const SequenceEvaluator& flow) = 0;

private:
    void handlePacket(const SequenceEvaluator& flow) final { handleSequenceEvaluator(flow); }
};

}  // namespace korvo::measurement
