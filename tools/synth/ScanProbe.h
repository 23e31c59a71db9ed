#pragma once
// One probe of a connection scan: a SYN to one port of one host, answered by RST (closed port), by SYN-ACK
// and then reset by the scanner (open port), or not at all, so that the scanner sends its SYN once more
// (filtered port). Each step writes the probe's next frame.

#include <cstdint>

#include "tools/synth/CaptureSink.h"
#include "tools/synth/FrameEncoder.h"
#include "tools/synth/Random.h"

namespace korvo::tools::synth {

class ScanProbe {
public:
    // A finished probe, to be replaced by a new one.
    ScanProbe() = default;
    ScanProbe(std::uint32_t scannerAddress, std::uint16_t scannerPort, std::uint32_t targetAddress,
              std::uint16_t targetPort, Random& random);

    [[nodiscard]] bool done() const { return stage_ == Stage::Done; }
    void step(FrameEncoder& encoder, CaptureSink& sink);

private:
    enum class Stage { Syn, Answer, ScannerReset, Done };
    enum class Outcome { Closed, Open, Filtered };

    TcpSegment fromScanner(std::uint8_t flags, std::uint32_t sequence);
    TcpSegment fromTarget(std::uint8_t flags, std::uint32_t sequence, std::uint32_t acknowledgement);

    Stage stage_ = Stage::Done;
    Outcome outcome_ = Outcome::Closed;
    std::uint32_t scannerAddress_ = 0;
    std::uint16_t scannerPort_ = 0;
    std::uint32_t targetAddress_ = 0;
    std::uint16_t targetPort_ = 0;
    std::uint32_t scannerSequence_ = 0;
    std::uint32_t targetSequence_ = 0;
    std::uint16_t scannerIdentification_ = 0;
    std::uint16_t targetIdentification_ = 0;
};

}  // namespace korvo::tools::synth
