#pragma once
// What a run lifts beyond IPv4 packets that their link header carries directly.

namespace korvo::measurement {

struct Decoding {
    // TCP over IPv6.
    bool ipv6 = false;
    // Frames inside encapsulations, followed to their innermost IP packet.
    bool tunnels = false;
};

}  // namespace korvo::measurement
