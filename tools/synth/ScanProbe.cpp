#include "tools/synth/ScanProbe.h"

namespace korvo::tools::synth {

ScanProbe::ScanProbe(std::uint32_t scannerAddress, std::uint16_t scannerPort, std::uint32_t targetAddress,
                     std::uint16_t targetPort, const ProbeOutcomes& outcomes, Random& random)
    : stage_(Stage::Syn),
      resetOpen_(outcomes.resetOpen),
      scannerAddress_(scannerAddress),
      scannerPort_(scannerPort),
      targetAddress_(targetAddress),
      targetPort_(targetPort),
      scannerSequence_(random.next32()),
      targetSequence_(random.next32()),
      scannerIdentification_(static_cast<std::uint16_t>(random.next32())),
      targetIdentification_(static_cast<std::uint16_t>(random.next32())) {
    const double roll = random.unit();
    const double open = outcomes.closed + outcomes.open;
    outcome_ = roll < outcomes.closed            ? Outcome::Closed
               : roll < open                     ? Outcome::Open
               : roll < open + outcomes.filtered ? Outcome::Filtered
                                                 : Outcome::Silent;
}

void ScanProbe::step(FrameEncoder& encoder, CaptureSink& sink) {
    switch (stage_) {
        case Stage::Syn:
            sink.put(encoder.tcp(fromScanner(FrameEncoder::kTcpSyn, scannerSequence_)),
                     kTagTcp | kTagFlowOpening);
            stage_ = outcome_ == Outcome::Silent ? Stage::Done : Stage::Answer;
            break;
        case Stage::Answer:
            if (outcome_ == Outcome::Closed) {
                sink.put(encoder.tcp(fromTarget(FrameEncoder::kTcpRst | FrameEncoder::kTcpAck, 0,
                                                scannerSequence_ + 1)),
                         kTagTcp);
                stage_ = Stage::Done;
            } else if (outcome_ == Outcome::Open) {
                sink.put(encoder.tcp(fromTarget(FrameEncoder::kTcpSyn | FrameEncoder::kTcpAck,
                                                targetSequence_, scannerSequence_ + 1)),
                         kTagTcp);
                stage_ = resetOpen_ ? Stage::ScannerReset : Stage::Done;
            } else {
                sink.put(encoder.tcp(fromScanner(FrameEncoder::kTcpSyn, scannerSequence_)),
                         kTagTcp | kTagRetransmitted);
                stage_ = Stage::Done;
            }
            break;
        case Stage::ScannerReset:
            sink.put(encoder.tcp(fromScanner(FrameEncoder::kTcpRst, scannerSequence_ + 1)), kTagTcp);
            stage_ = Stage::Done;
            break;
        case Stage::Done:
            break;
    }
}

TcpSegment ScanProbe::fromScanner(std::uint8_t flags, std::uint32_t sequence) {
    TcpSegment segment;
    segment.sourceAddress = scannerAddress_;
    segment.destinationAddress = targetAddress_;
    segment.sourcePort = scannerPort_;
    segment.destinationPort = targetPort_;
    segment.sequenceNumber = sequence;
    segment.flags = flags;
    segment.identification = scannerIdentification_++;
    return segment;
}

TcpSegment ScanProbe::fromTarget(std::uint8_t flags, std::uint32_t sequence, std::uint32_t acknowledgement) {
    TcpSegment segment;
    segment.sourceAddress = targetAddress_;
    segment.destinationAddress = scannerAddress_;
    segment.sourcePort = targetPort_;
    segment.destinationPort = scannerPort_;
    segment.sequenceNumber = sequence;
    segment.acknowledgementNumber = acknowledgement;
    segment.flags = flags;
    segment.identification = targetIdentification_++;
    return segment;
}

}  // namespace korvo::tools::synth
