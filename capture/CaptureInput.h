#pragma once
// One capture named on the command line: a plain capture file, or one compressed with gzip, zstd, xz or bzip2
// (recognised by its first bytes), from a file or standard input. Classic captures are read by the capture
// library, pcapng ones by the project's own block reader, which also reads files whose interfaces differ in
// link type or snap length. It answers how far its input has been consumed and holds the frame filter,
// compiled for each link type it meets.

#include <pcap/pcap.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvo::measurement {

class CompressedStream;
class PcapngReader;

class CaptureInput {
public:
    // Opens `name` ("-" reads standard input). On failure writes the reason to standard output and throws a
    // std::exception that carries no text of its own.
    explicit CaptureInput(std::string name);
    ~CaptureInput();
    CaptureInput(const CaptureInput&) = delete;
    CaptureInput& operator=(const CaptureInput&) = delete;

    [[nodiscard]] const std::string& name() const { return name_; }
    // The link type of the capture's first interface.
    [[nodiscard]] int linkType() const;
    // The link types of the interfaces known so far, the first first, each once.
    [[nodiscard]] std::vector<int> linkTypes() const;

    // Reads the next frame: kFrameRead, its header and bytes valid until the next read; kReadError at a
    // record that cannot be read; kEndOfFile at the end.
    static constexpr int kFrameRead = 1;
    static constexpr int kReadError = -1;
    static constexpr int kEndOfFile = -2;
    [[nodiscard]] int next(const pcap_pkthdr*& header, const u_char*& data);
    // The link type of the frame read last.
    [[nodiscard]] int frameLinkType() const { return frameLinkType_; }

    // Compiles `expression` for the link types known so far (and later for each new one); throws
    // FilterError with the library's reason.
    void useFilter(const std::string& expression);
    // Whether the frame read last passes the filter (every frame does without one).
    [[nodiscard]] bool keeps(const pcap_pkthdr* header, const u_char* data) {
        if (filter_.empty()) {
            return true;
        }
        if (frameLinkType_ != filterLinkType_) {
            useFilterFor(frameLinkType_);
        }
        return pcap_offline_filter(currentFilter_, header, data) != 0;
    }

    // Why the last read failed: the decompressor's reason for a damaged compressed stream, else the capture
    // library's.
    [[nodiscard]] std::string readError() const;

    // Counts a record read: for an input that cannot tell its position, and for what was read of each.
    void countRecord(std::uint32_t capturedBytes, std::uint32_t wireBytes) {
        recordBytes_ += kRecordHeaderBytes + capturedBytes;
        ++frames_;
        wireBytes_ += wireBytes;
    }
    // The records counted so far and their summed wire lengths.
    [[nodiscard]] std::uint64_t frames() const { return frames_; }
    [[nodiscard]] std::uint64_t wireBytes() const { return wireBytes_; }
    // Bytes of the input consumed: of the compressed file for a compressed capture; for a plain one its
    // position, or, where it cannot tell its position (a pipe), the bytes of the records read so far.
    [[nodiscard]] std::uint64_t bytesConsumed() const;
    // The size of the input when it is a regular file named on the command line.
    [[nodiscard]] std::optional<std::uint64_t> size() const { return size_; }

private:
    // What a record costs in the file beyond its captured bytes, and what the file header takes.
    static constexpr std::uint64_t kRecordHeaderBytes = 16;
    static constexpr std::uint64_t kFileHeaderBytes = 24;
    // The snap length filters are compiled for where no capture library handle gives one.
    static constexpr int kCompilerSnapLength = 262144;

    [[noreturn]] void failToOpen(const std::string& reason) const;
    // Opens `file`, as it is or through a decompressor as its first bytes say.
    void open(FILE* file);
    // Hands an uncompressed stream to the reader its first bytes call for.
    void openPlain(FILE* file);
    // Compiles the filter for `linkType`, once, and makes it the current one.
    void useFilterFor(int linkType);

    std::string name_;
    // The stdio buffer of a capture file: page-aligned, so that the kernel copies whole pages into it.
    std::unique_ptr<char, void (*)(void*)> buffer_{nullptr, &std::free};
    // Either a classic capture read by the library, or a pcapng one read by the block reader from `file_`.
    pcap_t* handle_ = nullptr;
    std::unique_ptr<PcapngReader> pcapng_;
    FILE* file_ = nullptr;
    CompressedStream* compressed_ = nullptr;
    int frameLinkType_ = 0;
    std::string filter_;
    std::map<int, bpf_program> programs_;
    int filterLinkType_ = -1;
    const bpf_program* currentFilter_ = nullptr;
    std::uint64_t recordBytes_ = 0;
    std::uint64_t frames_ = 0;
    std::uint64_t wireBytes_ = 0;
    std::optional<std::uint64_t> size_;
};

}  // namespace korvo::measurement
