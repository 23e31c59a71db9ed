#pragma once
// The command line's resource options: how many threads a run may use and how much memory its flow table
// may keep, read from their texts and checked against the machine, with the machine's defaults.

#include <cstdint>
#include <string>

namespace korvo::measurement {

class ResourceOptions {
public:
    static constexpr std::uint64_t kMostThreads = 1024;

    // The processors this process may run on.
    [[nodiscard]] static std::uint64_t usableProcessors();
    // The machine's physical memory in bytes; 0 when the system does not tell.
    [[nodiscard]] static std::uint64_t physicalMemory();
    // Half of the physical memory; no limit when the system does not tell.
    [[nodiscard]] static std::uint64_t defaultMemoryLimit();

    // A whole number from 1 to kMostThreads. Throws std::invalid_argument naming the option otherwise.
    [[nodiscard]] static std::uint64_t parseThreads(const std::string& text);
    // A number of bytes with an optional K, M or G (binary multiples, either case), above zero and at most
    // the physical memory. Throws std::invalid_argument naming the option otherwise.
    [[nodiscard]] static std::uint64_t parseMemory(const std::string& text);
};

}  // namespace korvo::measurement
