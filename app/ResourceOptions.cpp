#include "app/ResourceOptions.h"

#include <sched.h>
#include <unistd.h>

#include <cctype>
#include <limits>
#include <stdexcept>

namespace korvo::measurement {

namespace {

// Enough digits for any memory size, few enough that no number of them overflows once shifted by 30.
constexpr std::size_t kMostDigits = 12;

// The leading digits of `text` as a number, and where they end; no digits (or too many) give nothing.
bool leadingNumber(const std::string& text, std::uint64_t& value, std::size_t& end) {
    end = 0;
    value = 0;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) != 0) {
        if (end == kMostDigits) {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(text[end] - '0');
        ++end;
    }
    return end != 0;
}

}  // namespace

std::uint64_t ResourceOptions::usableProcessors() {
    cpu_set_t processors;
    CPU_ZERO(&processors);
    if (sched_getaffinity(0, sizeof processors, &processors) == 0) {
        return static_cast<std::uint64_t>(CPU_COUNT(&processors));
    }
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<std::uint64_t>(online) : 1;
}

std::uint64_t ResourceOptions::physicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0
               ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize)
               : 0;
}

std::uint64_t ResourceOptions::defaultMemoryLimit() {
    const std::uint64_t machine = physicalMemory();
    return machine != 0 ? machine / 2 : std::numeric_limits<std::uint64_t>::max();
}

std::uint64_t ResourceOptions::parseThreads(const std::string& text) {
    std::uint64_t threads = 0;
    std::size_t end = 0;
    if (!leadingNumber(text, threads, end) || end != text.size() || threads == 0 || threads > kMostThreads) {
        throw std::invalid_argument("--threads expects a whole number from 1 to " +
                                    std::to_string(kMostThreads) + ", found '" + text + "'");
    }
    return threads;
}

std::uint64_t ResourceOptions::parseMemory(const std::string& text) {
    std::uint64_t number = 0;
    std::size_t end = 0;
    int shift = -1;
    if (leadingNumber(text, number, end)) {
        const std::string suffix = text.substr(end);
        if (suffix.empty()) {
            shift = 0;
        } else if (suffix.size() == 1) {
            const auto unit = static_cast<char>(std::toupper(static_cast<unsigned char>(suffix[0])));
            shift = unit == 'K' ? 10 : unit == 'M' ? 20 : unit == 'G' ? 30 : -1;
        }
    }
    if (shift < 0 || number == 0) {
        throw std::invalid_argument(
            "--max-memory expects a size above zero such as 512M or 4G (K, M, G: "
            "binary multiples), found '" +
            text + "'");
    }
    const std::uint64_t bytes = number << shift;
    const std::uint64_t machine = physicalMemory();
    if (machine != 0 && bytes > machine) {
        throw std::invalid_argument("--max-memory " + text + " is more than this machine's " +
                                    std::to_string(machine >> 20) + " MiB of memory");
    }
    return bytes;
}

}  // namespace korvo::measurement
