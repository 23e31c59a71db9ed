#pragma once
// Writes a classic libpcap capture file (microsecond timestamps, little-endian, Ethernet link type by
// default) record by record through a large buffer, so that multi-gigabyte captures are written quickly.

#include <pcap/dlt.h>

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace korvo::tools {

class PcapWriter {
public:
    static constexpr std::uint32_t kLinkTypeEthernet = DLT_EN10MB;

    // Creates or empties `path` and writes the file header. Throws std::runtime_error naming the file and the
    // system's reason when it cannot be written.
    explicit PcapWriter(const std::string& path, std::uint32_t snapLength = 262144,
                        std::uint32_t linkType = kLinkTypeEthernet);
    ~PcapWriter();
    PcapWriter(const PcapWriter&) = delete;
    PcapWriter& operator=(const PcapWriter&) = delete;

    // One record: the timestamp parts exactly as stored, the captured bytes and the wire length as given
    // (so captured and wire length may differ either way).
    void writeRecord(std::uint32_t seconds, std::uint32_t microseconds,
                     std::span<const std::uint8_t> captured, std::uint32_t wireLength);
    // A frame captured in full: wire length = captured length = frame size.
    void write(std::uint32_t seconds, std::uint32_t microseconds, std::span<const std::uint8_t> frame);
    // Raw bytes appended as they are (to build damaged files).
    void writeRaw(std::span<const std::uint8_t> bytes);

    // Bytes written so far, file header included.
    [[nodiscard]] std::uint64_t bytesWritten() const { return bytesWritten_; }
    // Flushes and closes; throws std::runtime_error on failure. Called by the destructor if not called before
    // (where errors are swallowed).
    void close();

private:
    void append(const void* data, std::size_t size);
    void flushBuffer();
    void writeToFile(const std::uint8_t* bytes, std::size_t size);

    std::string path_;
    std::FILE* file_ = nullptr;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bytesWritten_ = 0;
};

}  // namespace korvo::tools
