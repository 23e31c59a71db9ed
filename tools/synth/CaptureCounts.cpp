#include "tools/synth/CaptureCounts.h"

namespace korvo::tools::synth {

void CaptureCounts::countFrame(std::uint32_t capturedBytes, std::uint32_t wireBytes, std::uint32_t tags) {
    const auto tagged = [tags](FrameTag tag) -> std::uint64_t { return (tags & tag) != 0 ? 1 : 0; };
    ++frames_;
    capturedBytes_ += capturedBytes;
    wireBytes_ += wireBytes;
    truncatedFrames_ += capturedBytes < wireBytes ? 1 : 0;
    tcpSegments_ += tagged(kTagTcp);
    tcpFlows_ += tagged(kTagFlowOpening);
    reorderedSegments_ += tagged(kTagReordered);
    duplicatedSegments_ += tagged(kTagDuplicate);
    retransmittedSegments_ += tagged(kTagRetransmitted);
    vlanFrames_ += tagged(kTagVlan);
    udpFrames_ += tagged(kTagUdp);
    arpFrames_ += tagged(kTagArp);
    ipv6Frames_ += tagged(kTagIpv6);
    ipFragments_ += tagged(kTagFragment);
    jumboPackets_ += tagged(kTagJumbo);
}

void CaptureCounts::write(std::ostream& out) const {
    out << "file_bytes=" << fileBytes_ << '\n'
        << "frames=" << frames_ << '\n'
        << "wire_bytes=" << wireBytes_ << '\n'
        << "captured_bytes=" << capturedBytes_ << '\n'
        << "tcp_segments=" << tcpSegments_ << '\n'
        << "tcp_flows=" << tcpFlows_ << '\n'
        << "lost_segments=" << lostSegments_ << '\n'
        << "reordered_segments=" << reorderedSegments_ << '\n'
        << "duplicated_segments=" << duplicatedSegments_ << '\n'
        << "retransmitted_segments=" << retransmittedSegments_ << '\n'
        << "vlan_frames=" << vlanFrames_ << '\n'
        << "udp_frames=" << udpFrames_ << '\n'
        << "arp_frames=" << arpFrames_ << '\n'
        << "ipv6_frames=" << ipv6Frames_ << '\n'
        << "ip_fragments=" << ipFragments_ << '\n'
        << "jumbo_packets=" << jumboPackets_ << '\n'
        << "truncated_frames=" << truncatedFrames_ << '\n';
}

}  // namespace korvo::tools::synth
