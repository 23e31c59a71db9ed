#pragma once
// Frames of TCP connections between the client 10.0.0.1, on a port of its own per connection, and the server
// 10.0.0.2:80, written one segment at a time; client ports from 2000 on go over IPv6 (the same addresses,
// IPv4-mapped). Times count from 2008-03-05 14:07:09 UTC.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "e2e/ToolTest.h"

namespace korvo::e2e {

class ConnectionFrames {
public:
    struct Segment {
        std::uint16_t port;
        bool fromClient;
        std::uint32_t sequence;
        std::uint8_t flags = tools::FrameBuilder::kTcpAck;
        std::uint32_t acknowledgement = 0;
        std::size_t bytes = 0;
        // IPv4 only: by default each segment gets the next of a count shared by both sides.
        std::optional<std::uint16_t> identification = std::nullopt;
        std::uint16_t window = 65535;
    };

    explicit ConnectionFrames(TestCapture& capture) : capture_(capture) {}

    // Writes `segment` at `micros` after the start; `edit` may change the built frame's bytes.
    void add(std::uint32_t micros, const Segment& segment,
             const std::function<void(std::vector<std::uint8_t>&)>& edit = {}) {
        const std::uint32_t client = address(10, 0, 0, 1);
        const std::uint32_t server = address(10, 0, 0, 2);
        tools::FrameBuilder builder;
        if (segment.port >= 2000) {
            builder.ipv6(tools::FrameBuilder::ipv6Of(segment.fromClient ? client : server),
                         tools::FrameBuilder::ipv6Of(segment.fromClient ? server : client));
        } else {
            builder.ipv4(segment.fromClient ? client : server, segment.fromClient ? server : client)
                .ipIdentification(segment.identification.value_or(nextIdentification_++));
        }
        builder
            .tcp(segment.fromClient ? segment.port : 80, segment.fromClient ? 80 : segment.port,
                 segment.sequence, segment.flags, segment.acknowledgement)
            .tcpWindow(segment.window)
            .payload(segment.bytes);
        std::vector<std::uint8_t> frame = builder.build();
        if (edit) {
            edit(frame);
        }
        capture_.add({kMarch2008 + micros / 1000000, micros % 1000000}, frame);
    }

private:
    TestCapture& capture_;
    std::uint16_t nextIdentification_ = 1;
};

}  // namespace korvo::e2e
