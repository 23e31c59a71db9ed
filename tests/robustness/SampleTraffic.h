#pragma once
// The small capture of mixed traffic that the robustness tests damage and the fuzzer starts from, record by
// record, and the ways of laying records out as a capture file.

#include <pcap/dlt.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace korvo::robustness {

// One capture record: its timestamp as stored, the captured bytes and the length on the wire.
struct SampleRecord {
    std::uint32_t seconds = 0;
    std::uint32_t microseconds = 0;
    std::vector<std::uint8_t> captured;
    std::uint32_t wireLength = 0;
};

class SampleTraffic {
public:
    static constexpr std::uint32_t kLinkTypeEthernet = DLT_EN10MB;

    // Eight records, about 600 bytes as a file: a TCP conversation in both directions with IP options, a
    // repeated segment, a gap and a truncated frame; an 802.1Q-tagged TCP segment; a UDP fragment; ARP.
    [[nodiscard]] static std::vector<SampleRecord> records();
    // A TCP segment in an IP packet of 2000 bytes, so that a frame reaching the IP level shows as a jumbo
    // packet: 2014 bytes untagged, 2018 behind an 802.1Q tag. `headerWords` is the IHL nibble; below 5 the
    // header still takes 20 bytes.
    [[nodiscard]] static std::vector<std::uint8_t> jumboSegment(bool tagged, std::uint8_t headerWords = 5);
    // Writes `records` as a classic libpcap file through the project's capture writer.
    static void writePcap(const std::filesystem::path& path, const std::vector<SampleRecord>& records,
                          std::uint32_t linkType = kLinkTypeEthernet);
    // Where each record starts in that file, followed by the file's size.
    [[nodiscard]] static std::vector<std::size_t> recordBoundaries(const std::vector<SampleRecord>& records);
    // The same records as a pcapng file with one Ethernet interface of microsecond resolution.
    [[nodiscard]] static std::vector<std::uint8_t> pcapng(const std::vector<SampleRecord>& records);
};

}  // namespace korvo::robustness
