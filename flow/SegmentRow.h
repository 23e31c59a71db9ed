#pragma once
// The detail row that names one segment: "Packet Number,<n>,Capture Time,<time>,Sequence Number,<seq>".

#include <string>

#include "figure/DetailRow.h"
#include "flow/SegmentRecord.h"

namespace korvo::measurement {

class SegmentRow {
public:
    static void append(const SegmentRecord& segment, DetailText& out) {
        DetailRow(out)
            .packet(segment.packetNumber(), segment.captureTime())
            .text(",Sequence Number,")
            .number(segment.sequenceNumber)
            .end();
    }
};

}  // namespace korvo::measurement
