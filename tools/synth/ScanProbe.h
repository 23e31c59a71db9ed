#pragma once
// One probe of a connection scan: a SYN to one port of one host, answered by RST (closed port), by SYN-ACK
// (open port; a scanner that keeps no state does not reset it), or not at all, when the scanner either sends
// its SYN once more (filtered port) or moves on. Each step writes the probe's next frame.

#include <cstdint>

#include "tools/synth/CaptureSink.h"
#include "tools/synth/FrameEncoder.h"
#include "tools/synth/Random.h"

namespace korvo::tools::synth {

// How often each answer comes; the filtered and silent probes take what the three shares leave.
struct ProbeOutcomes {
    double closed = 0.7;
    double open = 0.2;
    // Filtered probes retry their SYN once; with this share zero, unanswered probes end after one SYN.
    double filtered = 0.1;
    // Whether the scanner resets a port that answered with SYN-ACK.
    bool resetOpen = true;
};

class ScanProbe {
public:
    // A finished probe, to be replaced by a new one.
    ScanProbe() = default;
    ScanProbe(std::uint32_t scannerAddress, std::uint16_t scannerPort, std::uint32_t targetAddress,
              std::uint16_t targetPort, const ProbeOutcomes& outcomes, Random& random);

    [[nodiscard]] bool done() const { return stage_ == Stage::Done; }
    void step(FrameEncoder& encoder, CaptureSink& sink);

private:
    enum class Stage { Syn, Answer, ScannerReset, Done };
    enum class Outcome { Closed, Open, Filtered, Silent };

    TcpSegment fromScanner(std::uint8_t flags, std::uint32_t sequence);
    TcpSegment fromTarget(std::uint8_t flags, std::uint32_t sequence, std::uint32_t acknowledgement);

    Stage stage_ = Stage::Done;
    Outcome outcome_ = Outcome::Closed;
    bool resetOpen_ = true;
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
