#pragma once
// What every packet-level emitter hands to its receivers: a pointer to one protocol header inside the frame
// bytes, with the frame's wire length, its number in the capture and its capture time. The frame bytes
// belong to the capture library and are valid only during the emission that carries them.

#include <boost/date_time/posix_time/ptime.hpp>
#include <cstdint>

namespace korvo::measurement {

template <typename Header>
struct PacketHeaderWrapper {
    // This level's header: the frame's first byte, the IP header or the TCP header.
    Header header;
    // The whole frame's length on the wire, at every level (never an IP or TCP length).
    std::uint32_t length;
    // How many bytes were captured from `header` onwards; nothing at or beyond it may be read.
    std::uint32_t capturedLength;
    // The frame's ordinal in the capture, from 1.
    std::uint64_t packetNumber;
    boost::posix_time::ptime captureTime;
    // How many bytes of the frame lie in front of `header`: 0 at the frame's level.
    std::uint32_t offset = 0;
    // The link type of the frame's interface, as the capture library numbers it.
    int linkType = 1;

    // The wrapper of the next level up: the same frame seen from a header `step` bytes further in.
    template <typename Next>
    [[nodiscard]] PacketHeaderWrapper<const Next*> lift(std::uint32_t step) const {
        return PacketHeaderWrapper<const Next*>{
            reinterpret_cast<const Next*>(reinterpret_cast<const unsigned char*>(header) + step),
            length,
            capturedLength - step,
            packetNumber,
            captureTime,
            offset + step,
            linkType};
    }
};

}  // namespace korvo::measurement
