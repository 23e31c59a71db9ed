#include "tools/synth/BackgroundTraffic.h"

#include <algorithm>

namespace korvo::tools::synth {

namespace {

constexpr std::uint32_t kLocalHosts = 0x0A010001;  // 10.1.0.1 and the next kLocalHostCount addresses
constexpr std::uint32_t kLocalHostCount = 1000;
constexpr std::uint32_t kNameServer = 0x0A000035;  // 10.0.0.53
constexpr std::uint32_t kFileServer = 0xC0A8000A;  // 192.168.0.10
constexpr std::uint16_t kDnsPort = 53;
constexpr std::uint16_t kServiceDiscoveryPort = 5353;
constexpr std::uint16_t kFileServicePort = 2049;
// Every fragment but the last carries this many bytes of the datagram: an Ethernet MTU less the IP header,
// a multiple of eight as fragment offsets require.
constexpr std::uint32_t kFragmentBytes = 1480;

std::uint32_t localHost(Random& random) {
    return kLocalHosts + static_cast<std::uint32_t>(random.below(kLocalHostCount));
}

std::uint16_t ephemeralPort(Random& random) {
    return static_cast<std::uint16_t>(random.between(10000, 65000));
}

}  // namespace

void BackgroundTraffic::emit(FrameEncoder& encoder, CaptureSink& sink, Random& random) {
    const double roll = random.unit();
    if (roll < 0.5) {
        dnsLookup(encoder, sink, random);
    } else if (roll < 0.7) {
        arpExchange(encoder, sink, random);
    } else if (roll < 0.9) {
        serviceDiscovery(encoder, sink, random);
    } else {
        fragmentedDatagram(encoder, sink, random);
    }
}

void BackgroundTraffic::dnsLookup(FrameEncoder& encoder, CaptureSink& sink, Random& random) {
    UdpPacket query;
    query.sourceAddress = localHost(random);
    query.destinationAddress = kNameServer;
    query.sourcePort = ephemeralPort(random);
    query.destinationPort = kDnsPort;
    query.identification = static_cast<std::uint16_t>(random.next32());
    query.payloadBytes = static_cast<std::uint32_t>(random.between(20, 60));
    sink.put(encoder.udp(query), kTagUdp);

    UdpPacket answer = query;
    std::swap(answer.sourceAddress, answer.destinationAddress);
    std::swap(answer.sourcePort, answer.destinationPort);
    answer.identification = static_cast<std::uint16_t>(random.next32());
    answer.payloadBytes = static_cast<std::uint32_t>(random.between(60, 400));
    sink.put(encoder.udp(answer), kTagUdp);
}

void BackgroundTraffic::arpExchange(FrameEncoder& encoder, CaptureSink& sink, Random& random) {
    const std::uint32_t asking = localHost(random);
    const std::uint32_t asked = localHost(random);
    sink.put(encoder.arp(false, asking, asked), kTagArp);
    sink.put(encoder.arp(true, asked, asking), kTagArp);
}

void BackgroundTraffic::serviceDiscovery(FrameEncoder& encoder, CaptureSink& sink, Random& random) {
    sink.put(encoder.ipv6Udp(kServiceDiscoveryPort, static_cast<std::uint32_t>(random.between(30, 300))),
             kTagIpv6);
}

void BackgroundTraffic::fragmentedDatagram(FrameEncoder& encoder, CaptureSink& sink, Random& random) {
    UdpPacket fragment;
    fragment.sourceAddress = localHost(random);
    fragment.destinationAddress = kFileServer;
    fragment.sourcePort = ephemeralPort(random);
    fragment.destinationPort = kFileServicePort;
    fragment.identification = static_cast<std::uint16_t>(random.next32());
    const auto datagramBytes = static_cast<std::uint32_t>(random.between(2000, 8000));
    fragment.datagramBytes = static_cast<std::uint16_t>(datagramBytes);
    for (std::uint32_t offset = 0; offset < datagramBytes; offset += kFragmentBytes) {
        const std::uint32_t bytes = std::min(kFragmentBytes, datagramBytes - offset);
        const bool more = offset + bytes < datagramBytes;
        fragment.fragmentField =
            static_cast<std::uint16_t>(offset / 8 | (more ? FrameEncoder::kMoreFragments : 0U));
        fragment.payloadBytes = offset == 0 ? bytes - FrameEncoder::kUdpHeaderBytes : bytes;
        sink.put(encoder.udp(fragment), kTagUdp | kTagFragment);
    }
}

}  // namespace korvo::tools::synth
