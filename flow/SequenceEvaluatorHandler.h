#pragma once
// The emitter of judged flows and the base of every receiver of them. A handler connects itself at the back
// of the flow table's source when it is built; the flow table judges each flow once and then calls every
// handler's handleSequenceEvaluator with the flow and its verdict.

#include <cstddef>
#include <memory>

#include "capture/Signal.h"
#include "flow/FlowVerdict.h"
#include "flow/SequenceEvaluator.h"

namespace korvo::measurement {

// One flow as its receivers get it: its segments and what the judge found in them.
struct JudgedFlow {
    const SequenceEvaluator& flow;
    const FlowVerdict& verdict;
};

struct SequenceEvaluatorSource {
    Signal<JudgedFlow> signal;
};

class SequenceEvaluatorHandler : public Receiver<JudgedFlow> {
public:
    explicit SequenceEvaluatorHandler(SequenceEvaluatorSource& source) : Receiver(source.signal) {}

    virtual void handleSequenceEvaluator(const SequenceEvaluator& flow, const FlowVerdict& verdict) = 0;

    // A receiver of the same kind and settings with nothing counted, connected to `source`, to judge a share
    // of the flows on another thread; none when this receiver cannot be split so.
    [[nodiscard]] virtual std::unique_ptr<SequenceEvaluatorHandler> emptyCopy(
        SequenceEvaluatorSource& /*source*/) const {
        return nullptr;
    }
    // Takes over what `later`, an empty copy of this receiver, counted and listed, as though its flows had
    // been handed to this receiver after all of its own. Called only on receivers that make empty copies.
    virtual void absorb(SequenceEvaluatorHandler& /*later*/) {}
    // Lets an empty copy keep up to `bytes` of each text of rows in memory before moving them on, so that a
    // shard's rows reach their file in one piece.
    virtual void holdRowsUpTo(std::size_t /*bytes*/) {}

private:
    void handlePacket(const JudgedFlow& judged) final {
        handleSequenceEvaluator(judged.flow, judged.verdict);
    }
};

}  // namespace korvo::measurement
