#pragma once
// The numbers by which a header names what follows it, each named once: EtherTypes (and the GRE protocol
// types that share their space), the IP protocol numbers of the transports and tunnels the tool reads, and
// time zero of the capture formats.

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>

namespace korvo::net {

namespace etherType {
inline constexpr std::uint16_t kIPv4 = 0x0800;
inline constexpr std::uint16_t kIPv6 = 0x86DD;
inline constexpr std::uint16_t kVlan = 0x8100;
// Service tags and the older QinQ TPID: the outer tag of a stacked pair.
inline constexpr std::uint16_t kServiceVlan = 0x88A8;
inline constexpr std::uint16_t kQinQ = 0x9100;
inline constexpr std::uint16_t kMplsUnicast = 0x8847;
inline constexpr std::uint16_t kMplsMulticast = 0x8848;
inline constexpr std::uint16_t kPppoeSession = 0x8864;
inline constexpr std::uint16_t kBackbone = 0x88E7;
// Cisco FabricPath: its EtherType ends an outer Ethernet header; the FTag and TTL follow, then the inner
// frame.
inline constexpr std::uint16_t kFabricPath = 0x8903;
// Transparent Ethernet bridging in GRE.
inline constexpr std::uint16_t kEthernet = 0x6558;
inline constexpr std::uint16_t kErspan2 = 0x88BE;
inline constexpr std::uint16_t kErspan3 = 0x22EB;
// 802.11 frames in GRE, as wireless controllers send them.
inline constexpr std::uint16_t k80211 = 0x8200;
// Values below this are 802.3 lengths: an LLC header follows.
inline constexpr std::uint16_t kLowest = 0x0600;
}  // namespace etherType

// The LLC header that announces a SNAP header of the EtherType space (organisation code 0): an EtherType
// follows it.
inline constexpr unsigned char kLlcSnapHeader[] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00};

namespace ipProtocol {
inline constexpr std::uint8_t kIpInIp = 4;
inline constexpr std::uint8_t kTcp = 6;
inline constexpr std::uint8_t kUdp = 17;
inline constexpr std::uint8_t kIpv6InIp = 41;
inline constexpr std::uint8_t kGre = 47;
}  // namespace ipProtocol

// Capture time stamps count from 1970-01-01 00:00 UTC, and so do the microseconds the figures keep.
inline const boost::posix_time::ptime kEpoch{boost::gregorian::date(1970, 1, 1)};

}  // namespace korvo::net
