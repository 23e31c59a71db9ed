#pragma once
// Lifts frames to IP packets, finding the IP header by each frame's link type. Unfragmented IPv4 packets go
// to the receivers of `signal`; IPv4 fragments go to those of `fragmentSource` only. IPv6 packets are lifted
// only when the run analyses them: their extension headers are walked, and they go to `ipv6Signal`, or to
// that of `fragmentSource` when they are fragments. A frame whose captured bytes do not hold the whole fixed
// IP header is handed on to nobody.
//
// Where tunnels are decoded, each frame is followed through its encapsulations: its innermost IP packet goes
// to `signal` or `ipv6Signal` (never when it is a fragment), its outermost, the packet on the wire, to
// `outermost()` and `fragmentSource`. Frames left out are counted: those carrying IPv6 that is not
// analysed, those inside tunnels that are not decoded, those inside tunnels cut short or too deep, those
// whose IP version contradicts what announced it, unreadable 802.11 frames and frames cut short in their link
// header.

#include <cstdint>

#include "capture/FragmentReassembly.h"
#include "capture/FrameCoverage.h"
#include "capture/LinkLayer.h"
#include "capture/PacketSignals.h"
#include "capture/TunnelDecoder.h"

namespace korvo::measurement {

class IPPacketDispatcher : public EnetPacketHandler, public IPPacketSource {
public:
    explicit IPPacketDispatcher(EthernetSignal& ethernetSignal);

    // Lifts IPv6 packets too, instead of counting their frames as left out.
    void analyseIpv6() { ipv6_ = true; }
    // Follows frames through their encapsulations. Called before any receiver of `outermost()` is built.
    void decodeTunnels() { tunnels_ = true; }

    // The receivers of each frame's outermost IP packet when it is not a fragment: this dispatcher's own
    // unless tunnels are decoded, when the two differ.
    [[nodiscard]] IPPacketSource& outermost() { return tunnels_ ? outermost_ : *this; }

    void handlePacket(const EthernetPacket& packet) override;

    // The IPv4 packet's length: its total length, or, where that is 0 (a packet handed to the capture before
    // segmentation offload cut it up), the frame's wire length behind the headers before it. A total length
    // beyond that cannot be, and is cut to it.
    [[nodiscard]] static std::uint32_t packetLength(const IPPacket& packet) {
        const std::uint32_t totalLength = packet.header->totalLengthHost();
        // In 64 bits, so that no sum of the two wraps.
        if (totalLength != 0 && std::uint64_t{packet.offset} + totalLength <= packet.length) {
            return totalLength;
        }
        return packet.length > packet.offset ? packet.length - packet.offset : 0;
    }

    // What became of the frames so far: analysed, or left out and why.
    [[nodiscard]] FrameCoverage coverage() const;

    IPPacketSource fragmentSource;

private:
    [[nodiscard]] static IPv6Packet liftIpv6(const EthernetPacket& packet, std::uint32_t ipOffset);
    void handleIpv6(const EthernetPacket& packet, std::uint32_t ipOffset);
    void followTunnels(const EthernetPacket& packet);
    void countAnalysed(const TunnelDecoder::Path& path, bool ipv6);
    // Hands on the innermost packet the path reached; `countFrame` where it is the frame's own.
    void signalInnermost(const EthernetPacket& packet, const TunnelDecoder::Path& path, bool countFrame);
    // A fragment on the wire: put together where it belongs to a tunnel packet and tunnels are decoded,
    // else counted where it is the first fragment of one.
    void takeFragment(const IPPacket& fragment);
    void takeFragment(const IPv6Packet& fragment);
    void followReassembled(const FragmentReassembly::Whole& whole, std::uint64_t packetNumber,
                           boost::posix_time::ptime captureTime, int linkType, bool ipv6);

    // The link layer of the frames of `linkType_`, the link type of the last frame.
    int linkType_ = LinkLayer::kEthernet;
    LinkLayer linkLayer_;
    bool linkDecoded_ = true;
    bool ipv6_ = false;
    bool tunnels_ = false;
    IPPacketSource outermost_;
    FrameCoverage coverage_;
    FragmentReassembly reassembly_;
};

}  // namespace korvo::measurement
