#pragma once
// Writes the capture file of one test: every record with the timestamp, captured bytes and wire length that
// the test chooses, on top of the project's capture writer.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "tools/PcapWriter.h"

namespace korvo::e2e {

// A record timestamp as stored in the file: seconds since 1970-01-01 00:00:00 UTC and microseconds.
struct CaptureTime {
    std::uint32_t seconds = 0;
    std::uint32_t microseconds = 0;
};

class TestCapture {
public:
    explicit TestCapture(const std::filesystem::path& path,
                         std::uint32_t linkType = tools::PcapWriter::kLinkTypeEthernet);

    // A frame captured in full.
    TestCapture& add(CaptureTime at, const std::vector<std::uint8_t>& frame);
    // Only the first `capturedBytes` of the frame captured; the wire length stays the frame's size.
    TestCapture& addCut(CaptureTime at, const std::vector<std::uint8_t>& frame, std::size_t capturedBytes);
    // Captured bytes and wire length chosen freely (either may be the larger).
    TestCapture& addRecord(CaptureTime at, std::span<const std::uint8_t> captured, std::uint32_t wireLength);
    // Writes everything out; throws when the file cannot be written.
    void close();

private:
    tools::PcapWriter writer_;
};

}  // namespace korvo::e2e
