#pragma once
// One capture named on the command line, opened for the capture library: a plain capture file, or one
// compressed with gzip or zstd (recognised by its first bytes), from a file or standard input. It answers how
// far its input has been consumed and holds the frame filter compiled for its link type.

#include <pcap/pcap.h>

#include <cstdint>
#include <optional>
#include <string>

namespace korvo::measurement {

class CompressedStream;

class CaptureInput {
public:
    // Opens `name` ("-" reads standard input). On failure writes the reason to standard output and throws a
    // std::exception that carries no text of its own.
    explicit CaptureInput(std::string name);
    ~CaptureInput();
    CaptureInput(const CaptureInput&) = delete;
    CaptureInput& operator=(const CaptureInput&) = delete;

    [[nodiscard]] const std::string& name() const { return name_; }
    [[nodiscard]] pcap_t* handle() const { return handle_; }
    [[nodiscard]] int linkType() const { return pcap_datalink(handle_); }

    // Compiles `expression` for this capture's link type; throws FilterError with the library's reason.
    void useFilter(const std::string& expression);
    // Whether the frame passes the filter (every frame does without one).
    [[nodiscard]] bool keeps(const pcap_pkthdr* header, const u_char* data) const {
        return !filtered_ || pcap_offline_filter(&filter_, header, data) != 0;
    }

    // Why the last read failed: the decompressor's reason for a damaged compressed stream, else the capture
    // library's.
    [[nodiscard]] std::string readError() const;

    // Counts a record read, for an input that cannot tell its position.
    void countRecord(std::uint32_t capturedBytes) { recordBytes_ += kRecordHeaderBytes + capturedBytes; }
    // Bytes of the input consumed: of the compressed file for a compressed capture; for a plain one its
    // position, or, where it cannot tell its position (a pipe), the bytes of the records read so far.
    [[nodiscard]] std::uint64_t bytesConsumed() const;
    // The size of the input when it is a regular file named on the command line.
    [[nodiscard]] std::optional<std::uint64_t> size() const { return size_; }

private:
    // What a record costs in the file beyond its captured bytes, and what the file header takes.
    static constexpr std::uint64_t kRecordHeaderBytes = 16;
    static constexpr std::uint64_t kFileHeaderBytes = 24;

    [[noreturn]] void failToOpen(const std::string& reason) const;
    // Hands `file` to the capture library, as it is or through a decompressor as its first bytes say.
    void open(FILE* file);

    std::string name_;
    pcap_t* handle_ = nullptr;
    CompressedStream* compressed_ = nullptr;
    bpf_program filter_{};
    bool filtered_ = false;
    std::uint64_t recordBytes_ = 0;
    std::optional<std::uint64_t> size_;
};

}  // namespace korvo::measurement
