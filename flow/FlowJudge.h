#pragma once
// Judges each TCP flow once, before any receiver sees it: runs the gap, out-of-order and repeat finders on
// both directions and, where asked, the retransmission and connection finders, and leaves what they find in a
// FlowVerdict that the figures, the flow table's rows and the report's highlights read.

#include "flow/ConnectionFinder.h"
#include "flow/FlowVerdict.h"
#include "flow/GapFinder.h"
#include "flow/OOOFinder.h"
#include "flow/RepeatFinder.h"
#include "flow/RetransmissionFinder.h"
#include "flow/SequenceEvaluator.h"

namespace korvo::measurement {

// What the judge finds beyond the anomaly counts.
struct JudgeSettings {
    // The detail rows of the packet-level figures (the anomalous segments and the retransmissions).
    bool rows = false;
    // The capture time of every anomaly and retransmission, for the charts over time.
    bool times = false;
    // Each flow's retransmissions and handshake.
    bool retransmissions = false;
    // How each flow's connection went.
    bool connections = false;
};

class FlowJudge {
public:
    explicit FlowJudge(const JudgeSettings& settings);

    // Fills `verdict` anew from `flow`.
    void judge(const SequenceEvaluator& flow, FlowVerdict& verdict);

private:
    JudgeSettings settings_;
    GapFinder gaps_;
    OOOFinder outOfOrder_;
    RepeatFinder repeats_;
    RetransmissionFinder retransmissions_;
    ConnectionFinder connections_;
};

}  // namespace korvo::measurement
