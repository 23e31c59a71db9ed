#include "robustness/SampleTraffic.h"

#include <algorithm>

#include "support/PcapngImage.h"
#include "tools/FrameBuilder.h"
#include "tools/PcapWriter.h"

namespace korvo::robustness {

namespace {

using tools::FrameBuilder;

// 2008-03-05 14:07:09 UTC.
constexpr std::uint32_t kStart = 1204726029;
constexpr std::uint32_t kClient = 0x0A000001;
constexpr std::uint32_t kServer = 0x0A000002;
constexpr std::uint32_t kSnapLength = 262144;
constexpr std::size_t kFileHeaderLength = 24;
constexpr std::size_t kRecordHeaderLength = 16;
constexpr std::uint64_t kMicrosPerSecond = 1'000'000;

SampleRecord whole(std::uint32_t seconds, std::uint32_t microseconds, std::vector<std::uint8_t> frame) {
    const auto wire = static_cast<std::uint32_t>(frame.size());
    return SampleRecord{seconds, microseconds, std::move(frame), wire};
}

}  // namespace

std::vector<SampleRecord> SampleTraffic::records() {
    std::vector<SampleRecord> records;
    records.push_back(whole(kStart, 0,
                            FrameBuilder()
                                .ipv4(kClient, kServer)
                                .ipIdentification(1)
                                .tcp(40000, 80, 100, FrameBuilder::kTcpSyn)
                                .build()));
    records.push_back(whole(kStart, 150,
                            FrameBuilder()
                                .ipv4(kServer, kClient)
                                .ipIdentification(1)
                                .tcp(80, 40000, 900, FrameBuilder::kTcpSyn | FrameBuilder::kTcpAck)
                                .build()));
    records.push_back(whole(kStart, 400,
                            FrameBuilder()
                                .ipv4(kClient, kServer)
                                .ipHeaderWords(6)
                                .ipIdentification(2)
                                .tcp(40000, 80, 120)
                                .payload(16)
                                .build()));
    records.push_back(whole(kStart, 500,
                            FrameBuilder()
                                .vlan(3)
                                .ipv4(0x0A000003, 0x0A000004)
                                .ipIdentification(9)
                                .tcp(5000, 443, 7)
                                .payload(8)
                                .build()));
    records.push_back(whole(kStart, 900,
                            FrameBuilder()
                                .ipv4(0x0A000005, 0x0A000006)
                                .ipIdentification(44)
                                .udp(53, 5353)
                                .ipFlagsAndOffset(0x2000)
                                .payload(12)
                                .build()));
    records.push_back(whole(kStart + 1, 0, FrameBuilder().nonIp(FrameBuilder::kEtherTypeArp, 28).build()));
    // The segment of record 3 once more, captured earlier than it and without options: a repeat of its
    // identification and a step back in sequence.
    records.push_back(whole(
        kStart, 800,
        FrameBuilder().ipv4(kClient, kServer).ipIdentification(2).tcp(40000, 80, 120).payload(16).build()));
    // Far past the data so far, and captured only in part.
    SampleRecord cut = whole(
        kStart + 1, 20,
        FrameBuilder().ipv4(kClient, kServer).ipIdentification(3).tcp(40000, 80, 500).payload(10).build());
    cut.captured.resize(40);
    records.push_back(std::move(cut));
    return records;
}

std::vector<std::uint8_t> SampleTraffic::jumboSegment(bool tagged, std::uint8_t headerWords) {
    constexpr std::size_t kIpLength = 2000;
    constexpr std::size_t kTcpHeaderLength = 20;
    FrameBuilder builder;
    if (tagged) {
        builder.vlan(3);
    }
    const std::size_t ipHeaderLength = 4 * std::size_t{std::max<std::uint8_t>(headerWords, 5)};
    return builder.ipv4(kClient, kServer)
        .ipHeaderWords(headerWords)
        .tcp(1111, 2222, 100)
        .payload(kIpLength - ipHeaderLength - kTcpHeaderLength)
        .build();
}

void SampleTraffic::writePcap(const std::filesystem::path& path, const std::vector<SampleRecord>& records,
                              std::uint32_t linkType) {
    tools::PcapWriter writer(path.string(), kSnapLength, linkType);
    for (const SampleRecord& record : records) {
        writer.writeRecord(record.seconds, record.microseconds, record.captured, record.wireLength);
    }
    writer.close();
}

std::vector<std::size_t> SampleTraffic::recordBoundaries(const std::vector<SampleRecord>& records) {
    std::vector<std::size_t> boundaries{kFileHeaderLength};
    for (const SampleRecord& record : records) {
        boundaries.push_back(boundaries.back() + kRecordHeaderLength + record.captured.size());
    }
    return boundaries;
}

std::vector<std::uint8_t> SampleTraffic::pcapng(const std::vector<SampleRecord>& records) {
    e2e::PcapngImage image;
    image.interface();
    for (const SampleRecord& record : records) {
        image.packet(record.seconds * kMicrosPerSecond + record.microseconds, record.captured,
                     record.wireLength);
    }
    return image.bytes();
}

}  // namespace korvo::robustness
