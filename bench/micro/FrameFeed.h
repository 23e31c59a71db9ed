#pragma once
// Frames of many TCP conversations, built once, that a micro-benchmark emits again and again.

#include <boost/date_time/posix_time/posix_time.hpp>
#include <cstdint>
#include <vector>

#include "capture/PacketSignals.h"
#include "tools/FrameBuilder.h"

namespace korvo::bench {

class FrameFeed {
public:
    // `frames` data segments spread round-robin over `flows` connections, in sequence order per flow.
    FrameFeed(std::size_t frames, std::size_t flows) {
        for (std::size_t index = 0; index < frames; ++index) {
            const auto flow = static_cast<std::uint32_t>(index % flows);
            const auto round = static_cast<std::uint32_t>(index / flows);
            frames_.push_back(
                tools::FrameBuilder()
                    .ipv4(0x0A000000U + (flow >> 16), 0xC0A80000U + (flow & 0xFFFFU))
                    .ipIdentification(static_cast<std::uint16_t>(index))
                    .tcp(static_cast<std::uint16_t>(1024 + flow % 50000), 443, 1000 + round * 1460)
                    .payload(1460)
                    .build());
        }
    }

    [[nodiscard]] std::size_t size() const { return frames_.size(); }
    [[nodiscard]] measurement::EthernetPacket packet(std::size_t index, std::uint64_t number) const {
        const std::vector<std::uint8_t>& frame = frames_[index];
        return measurement::EthernetPacket{
            reinterpret_cast<const net::ether_header*>(frame.data()),
            static_cast<std::uint32_t>(frame.size()), static_cast<std::uint32_t>(frame.size()), number,
            kStart + boost::posix_time::microseconds(static_cast<long>(number))};
    }

private:
    inline static const boost::posix_time::ptime kStart{boost::gregorian::date(2026, 1, 1)};
    std::vector<std::vector<std::uint8_t>> frames_;
};

}  // namespace korvo::bench
