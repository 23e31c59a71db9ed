#pragma once
// The sixteen-frame capture of mixed traffic that several tests read: TCP with and without a VLAN tag, UDP,
// ARP, IPv6, a jumbo packet, three fragments, a truncated frame, shared and out-of-order timestamps.

#include <filesystem>

namespace korvo::e2e {

class MixedCapture {
public:
    static void write(const std::filesystem::path& path);
};

}  // namespace korvo::e2e
