#pragma once
// The sixteen-frame capture of mixed traffic that several tests read: TCP with and without a VLAN tag, UDP,
// ARP, IPv6, a jumbo packet, three fragments, a truncated frame, shared and out-of-order timestamps.

#include <filesystem>

namespace korvo::e2e {

class MixedCapture {
public:
    // What a run on it says on standard error about the IPv6 frame.
    static constexpr const char* kCoverageNote =
        "Only IPv4 is analysed; frames left out: 1 carrying IPv6 (--ipv6 analyses them)\n";

    static void write(const std::filesystem::path& path);
};

}  // namespace korvo::e2e
