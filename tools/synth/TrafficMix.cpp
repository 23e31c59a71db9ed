#include "tools/synth/TrafficMix.h"

#include <algorithm>
#include <utility>

namespace korvo::tools::synth {

namespace {

// Clients 10.1.0.1 onwards, servers 192.168.1.1 onwards. The connecting side's address and port are drawn
// from a counter, and its ports lie above every listening port, so no two connections share addresses and
// ports (which would merge them into one flow).
constexpr std::uint32_t kClientBase = 0x0A010001;
constexpr std::uint32_t kClientCount = 1000;
constexpr std::uint32_t kServerBase = 0xC0A80101;
constexpr std::uint32_t kServerCount = 32;
constexpr std::uint32_t kFirstConnectingPort = 10000;
constexpr std::uint32_t kConnectingPortCount = 55000;
constexpr std::uint16_t kListeningPorts[] = {443, 443, 443, 80, 80, 22, 445, 8080, 5201};
constexpr double kServerOpensShare = 0.2;
constexpr double kUploadShare = 0.1;
constexpr std::uint64_t kSmallestTransfer = 64;
constexpr std::uint64_t kLargestRequest = 2048;
constexpr std::uint32_t kStandardSegment = 1460;
constexpr std::uint32_t kJumboSegment = 8960;

}  // namespace

TrafficMix::TrafficMix(const MixSettings& settings, Random& random)
    : settings_(settings), random_(random), connections_(settings.concurrency) {}

void TrafficMix::step(FrameEncoder& encoder, CaptureSink& sink) {
    if (random_.chance(settings_.otherShare)) {
        background_.emit(encoder, sink, random_);
        return;
    }
    TcpConnection& connection = connections_[random_.below(connections_.size())];
    if (connection.done()) {
        connection = TcpConnection(nextPlan(), random_);
    }
    connection.step(encoder, sink, random_, settings_.anomalies);
}

ConnectionPlan TrafficMix::nextPlan() {
    const std::uint64_t index = opened_++;
    ConnectionPlan plan;
    plan.clientAddress = kClientBase + static_cast<std::uint32_t>(index % kClientCount);
    plan.clientPort =
        static_cast<std::uint16_t>(kFirstConnectingPort + (index / kClientCount) % kConnectingPortCount);
    plan.serverAddress = kServerBase + static_cast<std::uint32_t>(random_.below(kServerCount));
    plan.serverPort = kListeningPorts[random_.below(std::size(kListeningPorts))];
    if (random_.chance(kServerOpensShare)) {
        std::swap(plan.clientAddress, plan.serverAddress);
    }
    if (random_.chance(settings_.vlanShare)) {
        plan.vlanId = static_cast<std::uint16_t>(random_.between(2, 4094));
    }
    plan.maximumSegment = random_.chance(settings_.jumboShare) ? kJumboSegment : kStandardSegment;
    // Drawn only when asked for, so that captures without IPv6 stay what they were for every seed.
    plan.ipv6 = settings_.ipv6Share > 0 && random_.chance(settings_.ipv6Share);

    const std::uint64_t largest = std::max(settings_.maxTransfer, kSmallestTransfer);
    const std::uint64_t largestRequest = std::min(largest, kLargestRequest);
    plan.requestBytes = random_.chance(kUploadShare) ? random_.logUniform(largestRequest, largest)
                                                     : random_.logUniform(kSmallestTransfer, largestRequest);
    plan.responseBytes = random_.logUniform(kSmallestTransfer, largest);
    return plan;
}

}  // namespace korvo::tools::synth
