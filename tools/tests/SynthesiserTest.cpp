#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tools/synth/Synthesiser.h"
#include "tools/tests/CaptureReadBack.h"

namespace {

namespace synth = korvo::tools::synth;
using korvo::tools::testing::CaptureReadBack;

// The fields of an IPv4 frame (tagged or not) that the checks below look at.
struct Ipv4View {
    bool vlan = false;
    std::uint16_t totalLength = 0;
    std::uint16_t identification = 0;
    bool fragment = false;
    std::uint8_t protocol = 0;
    std::uint32_t source = 0;
    std::uint32_t destination = 0;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    std::uint32_t sequence = 0;
    std::uint8_t tcpFlags = 0;

    [[nodiscard]] bool isTcpSegment() const { return protocol == 6 && !fragment; }
    [[nodiscard]] std::uint32_t tcpDataBytes() const { return totalLength - 40U; }
    [[nodiscard]] std::tuple<std::uint32_t, std::uint16_t, std::uint32_t, std::uint16_t> direction() const {
        return {source, sourcePort, destination, destinationPort};
    }
};

std::uint32_t bigEndian(const std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = value << 8 | bytes.at(offset + i);
    }
    return value;
}

std::uint16_t etherType(const std::vector<std::uint8_t>& frame) {
    const auto outer = static_cast<std::uint16_t>(bigEndian(frame, 12, 2));
    return outer == 0x8100 ? static_cast<std::uint16_t>(bigEndian(frame, 16, 2)) : outer;
}

std::optional<Ipv4View> ipv4(const std::vector<std::uint8_t>& frame) {
    if (etherType(frame) != 0x0800) {
        return std::nullopt;
    }
    Ipv4View view;
    view.vlan = bigEndian(frame, 12, 2) == 0x8100;
    const std::size_t ip = view.vlan ? 18 : 14;
    view.totalLength = static_cast<std::uint16_t>(bigEndian(frame, ip + 2, 2));
    view.identification = static_cast<std::uint16_t>(bigEndian(frame, ip + 4, 2));
    view.fragment = (bigEndian(frame, ip + 6, 2) & 0x3FFF) != 0;
    view.protocol = frame.at(ip + 9);
    view.source = bigEndian(frame, ip + 12, 4);
    view.destination = bigEndian(frame, ip + 16, 4);
    if (view.isTcpSegment()) {
        view.sourcePort = static_cast<std::uint16_t>(bigEndian(frame, ip + 20, 2));
        view.destinationPort = static_cast<std::uint16_t>(bigEndian(frame, ip + 22, 2));
        view.sequence = bigEndian(frame, ip + 24, 4);
        view.tcpFlags = frame.at(ip + 33);
    }
    return view;
}

// Both ends of a TCP segment's flow, the same for either direction.
using Endpoints = std::set<std::pair<std::uint32_t, std::uint16_t>>;
Endpoints endpointsOf(const Ipv4View& packet) {
    return {{packet.source, packet.sourcePort}, {packet.destination, packet.destinationPort}};
}

class SynthesiserTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const auto& path : written_) {
            std::filesystem::remove(path);
            std::filesystem::remove(path.string() + ".counts");
        }
    }

    synth::SynthOptions options(const std::string& name, std::uint64_t size) {
        const auto path = std::filesystem::temp_directory_path() /
                          ("wiretally-synth-" + name + "-" + std::to_string(::getpid()) + ".pcap");
        written_.push_back(path);
        synth::SynthOptions result;
        result.output = path.string();
        result.size = size;
        result.mix.concurrency = 16;
        result.mix.maxTransfer = 256 << 10;
        result.mix.vlanShare = 0.1;
        result.mix.jumboShare = 0.1;
        result.mix.otherShare = 0.05;
        result.mix.anomalies = {0.02, 0.02, 0.02, 0.02};
        result.truncateShare = 0.01;
        return result;
    }

    static std::vector<char> contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static std::map<std::string, std::uint64_t> countsFile(const std::string& capturePath) {
        std::map<std::string, std::uint64_t> counts;
        std::ifstream in(capturePath + ".counts");
        std::string line;
        while (std::getline(in, line)) {
            const auto equals = line.find('=');
            counts[line.substr(0, equals)] = std::stoull(line.substr(equals + 1));
        }
        return counts;
    }

    std::vector<std::filesystem::path> written_;
};

TEST_F(SynthesiserTest, SameSeedGivesTheSameBytesAndAnotherSeedDoesNot) {
    for (const auto shape : {synth::Shape::Realistic, synth::Shape::Scan, synth::Shape::RandomScan}) {
        auto first = options("first", 1 << 20);
        auto second = options("second", 1 << 20);
        auto reseeded = options("reseeded", 1 << 20);
        first.shape = second.shape = reseeded.shape = shape;
        reseeded.seed = 2;
        synth::synthesise(first);
        synth::synthesise(second);
        synth::synthesise(reseeded);
        EXPECT_EQ(contents(first.output), contents(second.output));
        EXPECT_EQ(contents(first.output + ".counts"), contents(second.output + ".counts"));
        EXPECT_NE(contents(first.output), contents(reseeded.output));
    }
}

TEST_F(SynthesiserTest, RequestedSizeIsReachedByTheLastFrame) {
    constexpr std::uint64_t kLargestRecord = 16 + 18 + 9000;
    for (const auto shape : {synth::Shape::Realistic, synth::Shape::Scan, synth::Shape::RandomScan}) {
        for (const std::uint64_t size : {std::uint64_t{24}, std::uint64_t{50000}, std::uint64_t{3} << 20}) {
            auto request = options("sized", size);
            request.shape = shape;
            const auto counts = synth::synthesise(request);
            const auto written = std::filesystem::file_size(request.output);
            EXPECT_GE(written, size);
            EXPECT_LT(written, size + kLargestRecord);
            EXPECT_EQ(counts.fileBytes(), written);
            EXPECT_EQ(countsFile(request.output).at("file_bytes"), written);
        }
    }
}

TEST_F(SynthesiserTest, RealisticCaptureHoldsWhatItsCountsSay) {
    const auto request = options("realistic", 4 << 20);
    synth::synthesise(request);
    auto expected = countsFile(request.output);
    const CaptureReadBack capture(request.output);
    ASSERT_EQ(capture.lastResult, -2);
    ASSERT_EQ(capture.records.size(), expected.at("frames"));

    std::map<std::string, std::uint64_t> found;
    std::set<std::tuple<std::uint32_t, std::uint16_t, std::uint32_t, std::uint16_t>> flows;
    std::set<std::pair<decltype(Ipv4View().direction()), std::uint16_t>> identifications;
    std::map<decltype(Ipv4View().direction()), std::uint32_t> furthest;
    timeval previous{0, 0};
    for (const auto& record : capture.records) {
        EXPECT_TRUE(
            record.timestamp.tv_sec > previous.tv_sec ||
            (record.timestamp.tv_sec == previous.tv_sec && record.timestamp.tv_usec >= previous.tv_usec));
        EXPECT_LT(record.timestamp.tv_usec, 1000000);
        previous = record.timestamp;
        found["truncated_frames"] += record.bytes.size() < record.wireLength ? 1U : 0U;
        found["arp_frames"] += etherType(record.bytes) == 0x0806 ? 1U : 0U;
        found["ipv6_frames"] += etherType(record.bytes) == 0x86DD ? 1U : 0U;
        const auto packet = ipv4(record.bytes);
        if (!packet) {
            continue;
        }
        found["vlan_frames"] += packet->vlan ? 1U : 0U;
        found["jumbo_packets"] += packet->totalLength > 1500 ? 1U : 0U;
        found["ip_fragments"] += packet->fragment ? 1U : 0U;
        found["udp_frames"] += packet->protocol == 17 ? 1U : 0U;
        if (!packet->isTcpSegment()) {
            continue;
        }
        ++found["tcp_segments"];
        const auto direction = packet->direction();
        if (packet->tcpFlags == 0x02) {
            EXPECT_TRUE(flows.insert(direction).second) << "addresses and ports are never reused";
        }
        found["duplicated_segments"] +=
            identifications.insert({direction, packet->identification}).second ? 0U : 1U;
        if (packet->tcpDataBytes() > 0) {
            const auto [at, first] = furthest.try_emplace(direction, packet->sequence);
            const auto behind = static_cast<std::int32_t>(packet->sequence - at->second) < 0;
            found["behind_furthest"] += !first && behind ? 1U : 0U;
            at->second = behind ? at->second : packet->sequence;
        }
    }

    EXPECT_EQ(flows.size(), expected.at("tcp_flows"));
    EXPECT_GT(found["tcp_segments"], 9 * capture.records.size() / 10);
    for (const char* name : {"tcp_segments", "duplicated_segments", "truncated_frames", "vlan_frames",
                             "jumbo_packets", "ip_fragments", "udp_frames", "arp_frames", "ipv6_frames"}) {
        EXPECT_EQ(found[name], expected.at(name)) << name;
        EXPECT_GT(found[name], 0U) << name;
    }
    // A reordered segment and a retransmission are each captured after a segment further along.
    EXPECT_EQ(found["behind_furthest"],
              expected.at("reordered_segments") + expected.at("retransmitted_segments"));
    EXPECT_GT(expected.at("lost_segments"), 0U);
}

TEST_F(SynthesiserTest, ScanCaptureIsManyFlowsOfTwoOrThreeSegments) {
    auto request = options("scan", 1 << 20);
    request.shape = synth::Shape::Scan;
    synth::synthesise(request);
    const auto expected = countsFile(request.output);
    const CaptureReadBack capture(request.output);

    std::map<Endpoints, int> segmentsPerFlow;
    for (const auto& record : capture.records) {
        const auto packet = ipv4(record.bytes);
        ASSERT_TRUE(packet && packet->isTcpSegment());
        const int seen = segmentsPerFlow[endpointsOf(*packet)]++;
        if (seen == 0) {
            EXPECT_EQ(packet->tcpFlags, 0x02) << "every flow opens with a SYN";
        }
    }
    EXPECT_EQ(segmentsPerFlow.size(), expected.at("tcp_flows"));
    EXPECT_EQ(capture.records.size(), expected.at("tcp_segments"));
    int unfinished = 0;
    for (const auto& [flow, segments] : segmentsPerFlow) {
        EXPECT_LE(segments, 3);
        unfinished += segments == 1 ? 1 : 0;
    }
    EXPECT_LE(unfinished, static_cast<int>(request.mix.concurrency)) << "only probes cut off at the end";
}

TEST_F(SynthesiserTest, RandomScanLeavesHalfItsProbesUnansweredAndNeverRevisitsATarget) {
    auto request = options("random-scan", 1 << 20);
    request.shape = synth::Shape::RandomScan;
    synth::synthesise(request);
    const auto expected = countsFile(request.output);
    const CaptureReadBack capture(request.output);

    std::map<Endpoints, int> segmentsPerFlow;
    std::set<std::uint32_t> targets;
    for (const auto& record : capture.records) {
        ASSERT_EQ(record.bytes.size(), 54U) << "bare Ethernet, IPv4 and TCP headers";
        const auto packet = ipv4(record.bytes);
        ASSERT_TRUE(packet && packet->isTcpSegment());
        ++segmentsPerFlow[endpointsOf(*packet)];
        targets.insert(packet->destination);
    }
    EXPECT_EQ(segmentsPerFlow.size(), expected.at("tcp_flows"));
    double single = 0;
    for (const auto& [flow, segments] : segmentsPerFlow) {
        EXPECT_LE(segments, 2);
        single += segments == 1 ? 1 : 0;
    }
    const double singleShare = single / static_cast<double>(segmentsPerFlow.size());
    EXPECT_GT(singleShare, 0.45);
    EXPECT_LT(singleShare, 0.55);
    // Random addresses: nearly every probe goes to a host of its own (the scanner is one more).
    EXPECT_GT(targets.size(), segmentsPerFlow.size() * 9 / 10);
}

}  // namespace
