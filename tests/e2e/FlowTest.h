#pragma once
// Base of the tests of the TCP flow figures: captures of TCP segments between endpoints, times counted from
// one instant, and a check of everything that runs with and without extended statistics write.

#include <cstdint>
#include <map>
#include <string>

#include "e2e/ToolTest.h"
#include "support/ExpectedSummary.h"

namespace korvo::e2e {

// One end of a TCP connection; the address in host order, as address() gives it.
struct Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

class FlowTest : public ToolTest {
protected:
    static constexpr std::uint8_t kSyn = tools::FrameBuilder::kTcpSyn;
    static constexpr std::uint8_t kAck = tools::FrameBuilder::kTcpAck;
    static constexpr std::uint8_t kFin = tools::FrameBuilder::kTcpFin;
    static constexpr std::uint8_t kRst = 0x04;

    // This many microseconds after 2008-03-05 14:07:09.
    static CaptureTime at(std::uint32_t microseconds);

    // A segment from one end to the other with the IP identification as the sender numbers it; payload, tag
    // and other fields may be added before it is built.
    static tools::FrameBuilder segment(Endpoint from, Endpoint to, std::uint32_t sequenceNumber,
                                       std::uint16_t identification, std::uint8_t flags = kAck,
                                       std::uint32_t acknowledgementNumber = 0);

    // Runs the tool on the test's capture twice. With extended statistics (prefix "out") the summary must be
    // `summary` and each of the eleven detail files must hold its text in `details`, or nothing when the
    // figure is not named there. Without them (prefix "plain") the summary must be the same and the truncated
    // frames' file the only detail file.
    void expectResults(const ExpectedSummary& summary,
                       const std::map<std::string, std::string>& details) const;
};

}  // namespace korvo::e2e
