#include "fuzz/SeedCaptures.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "capture/LinkLayer.h"
#include "robustness/SampleTraffic.h"
#include "support/LinkFraming.h"
#include "support/PcapngImage.h"
#include "tools/Encapsulator.h"
#include "tools/IpFragmenter.h"

namespace korvo::fuzz {

namespace {

using e2e::PcapngImage;
using robustness::SampleRecord;
using robustness::SampleTraffic;

constexpr std::uint32_t kMarch2008 = 1204726029;
constexpr std::uint32_t kLinkTypeRawIp = measurement::LinkLayer::kLinktypeRaw;
// The magic number that marks nanosecond time stamps, as the file's first four bytes (little-endian).
constexpr std::uint8_t kNanosecondMagic[] = {0x4d, 0x3c, 0xb2, 0xa1};

void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

SampleRecord cut(std::uint32_t microseconds, const std::vector<std::uint8_t>& frame, std::size_t captured) {
    return SampleRecord{
        kMarch2008, microseconds,
        std::vector<std::uint8_t>(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(captured)),
        static_cast<std::uint32_t>(frame.size())};
}

// Frames captured short of each header's end, and IP header lengths that move the TCP header.
std::vector<SampleRecord> headerBoundRecords() {
    const std::vector<std::uint8_t> untagged = SampleTraffic::jumboSegment(false);
    const std::vector<std::uint8_t> tagged = SampleTraffic::jumboSegment(true);
    std::vector<SampleRecord> records;
    std::uint32_t microseconds = 0;
    const std::size_t untaggedCuts[] = {0, 1, 13, 14, 33, 34, 53, 54};
    for (const std::size_t captured : untaggedCuts) {
        records.push_back(cut(microseconds++, untagged, captured));
    }
    const std::size_t taggedCuts[] = {15, 17, 18, 37, 38, 57, 58};
    for (const std::size_t captured : taggedCuts) {
        records.push_back(cut(microseconds++, tagged, captured));
    }
    const std::uint8_t headerLengths[] = {0, 1, 15};
    for (const std::uint8_t headerWords : headerLengths) {
        records.push_back(cut(microseconds++, SampleTraffic::jumboSegment(false, headerWords), 120));
    }
    return records;
}

// Wire lengths and time stamps at the edges of their fields.
std::vector<SampleRecord> extremeRecords() {
    const std::vector<std::uint8_t> frame = SampleTraffic::records().front().captured;
    return {SampleRecord{0, 0, frame, 0xFFFFFFFFU}, SampleRecord{0xFFFFFFFFU, 0, frame, 0},
            SampleRecord{5, 1'000'000, frame, 54}, SampleRecord{5, 0xFFFFFFFFU, frame, 54}};
}

// The sample's frames under a link header of `linkType`; frames too short for an Ethernet header are kept.
std::vector<SampleRecord> reframed(const std::vector<SampleRecord>& sample, const e2e::LinkType& linkType) {
    std::vector<SampleRecord> records = sample;
    for (SampleRecord& record : records) {
        if (record.captured.size() >= 14) {
            const std::size_t before = record.captured.size();
            record.captured = e2e::LinkFraming::reframe(record.captured, linkType);
            record.wireLength = record.wireLength - static_cast<std::uint32_t>(before) +
                                static_cast<std::uint32_t>(record.captured.size());
        }
    }
    return records;
}

}  // namespace

void SeedCaptures::write(const std::filesystem::path& folder) {
    const std::vector<SampleRecord> sample = SampleTraffic::records();
    SampleTraffic::writePcap(folder / "sample.pcap", sample);
    SampleTraffic::writePcap(folder / "empty.pcap", {});
    SampleTraffic::writePcap(folder / "header-bounds.pcap", headerBoundRecords());
    SampleTraffic::writePcap(folder / "extremes.pcap", extremeRecords());

    // The Ethernet frames without their Ethernet header, as a raw IP capture.
    std::vector<SampleRecord> rawIp = sample;
    for (SampleRecord& record : rawIp) {
        const std::size_t linkHeader = std::min<std::size_t>(14, record.captured.size());
        record.captured.erase(record.captured.begin(),
                              record.captured.begin() + static_cast<std::ptrdiff_t>(linkHeader));
        record.wireLength -= static_cast<std::uint32_t>(linkHeader);
    }
    SampleTraffic::writePcap(folder / "raw-ip.pcap", rawIp, kLinkTypeRawIp);
    for (const e2e::LinkType& linkType : e2e::LinkFraming::decodedLinkTypes()) {
        SampleTraffic::writePcap(folder / ("link-" + linkType.name + ".pcap"), reframed(sample, linkType),
                                 linkType.number);
    }

    SampleTraffic::writePcap(folder / "nanoseconds.pcap", sample);
    std::fstream nanoseconds(folder / "nanoseconds.pcap", std::ios::binary | std::ios::in | std::ios::out);
    nanoseconds.write(reinterpret_cast<const char*>(kNanosecondMagic), sizeof kNanosecondMagic);

    writeBytes(folder / "sample.pcapng", SampleTraffic::pcapng(sample));
    // Two interfaces whose time stamps count milliseconds with an offset, and 2^-10 seconds.
    PcapngImage clocks;
    clocks.interface(3, 1000).interface(0x8A);
    for (std::uint32_t i = 0; i < sample.size(); ++i) {
        clocks.packet(std::uint64_t{kMarch2008} * 1000 + i, sample[i].captured, sample[i].wireLength, i % 2);
    }
    writeBytes(folder / "clocks.pcapng", clocks.bytes());

    // Every frame in the next kind of encapsulation, and in all of them nested.
    std::vector<SampleRecord> tunnelled = sample;
    std::size_t kind = 0;
    for (SampleRecord& record : tunnelled) {
        const auto& kinds = tools::Encapsulator::kinds();
        tools::Encapsulator::Frame frame{record.captured, record.wireLength};
        if (kind == kinds.size()) {
            for (const tools::Encapsulator::Kind each : kinds) {
                frame = tools::Encapsulator::wrap(each, frame);
            }
        } else {
            frame = tools::Encapsulator::wrap(kinds[kind], frame);
        }
        kind = (kind + 1) % (kinds.size() + 1);
        record.captured = frame.captured;
        record.wireLength = frame.wireLength;
    }
    SampleTraffic::writePcap(folder / "tunnels.pcap", tunnelled);

    // Every GTP-U frame of the sample, its outer packet cut into fragments, every other datagram reversed.
    std::vector<SampleRecord> fragmented;
    std::uint32_t identification = 0;
    for (const SampleRecord& record : sample) {
        const tools::Encapsulator::Frame frame = tools::Encapsulator::wrap(
            tools::Encapsulator::Kind::GtpUser, {record.captured, record.wireLength});
        std::vector<std::vector<std::uint8_t>> pieces =
            tools::IpFragmenter::fragment(frame.captured, 256, ++identification);
        if (identification % 2 == 0) {
            std::reverse(pieces.begin(), pieces.end());
        }
        for (const std::vector<std::uint8_t>& piece : pieces) {
            fragmented.push_back(SampleRecord{record.seconds, record.microseconds, piece,
                                              static_cast<std::uint32_t>(piece.size())});
        }
    }
    SampleTraffic::writePcap(folder / "fragmented-tunnels.pcap", fragmented);

    // Interfaces of two link types and snap lengths in one pcapng.
    const e2e::LinkType cooked{e2e::LinkFraming::kLinuxCooked, "cooked"};
    const std::vector<SampleRecord> cookedSample = reframed(sample, cooked);
    PcapngImage interfaces;
    interfaces.interface().interface(std::nullopt, std::nullopt, e2e::LinkFraming::kLinuxCooked, 65535);
    for (std::uint32_t i = 0; i < sample.size(); ++i) {
        const SampleRecord& record = i % 2 == 0 ? sample[i] : cookedSample[i];
        interfaces.packet(std::uint64_t{kMarch2008} * 1'000'000 + i, record.captured, record.wireLength,
                          i % 2);
    }
    writeBytes(folder / "interfaces.pcapng", interfaces.bytes());
}

}  // namespace korvo::fuzz
