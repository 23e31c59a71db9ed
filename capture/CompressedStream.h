#pragma once
// A gzip, zstd, xz or bzip2 stream read from a stdio file and handed out as a stdio file of its decompressed
// bytes, so that the capture library reads a compressed capture as it reads a plain one. It counts the
// compressed bytes taken and keeps the reason when the stream turns out damaged or cut short.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvo::measurement {

class CompressedStream {
public:
    enum class Format : std::uint8_t { Gzip, Zstd, Xz, Bzip2 };

    // The longest magic: how many first bytes `recognise` needs to decide.
    static constexpr std::size_t kMagicBytes = 6;

    // Which compressed format an input whose first bytes are `head` is in, if any.
    [[nodiscard]] static std::optional<Format> recognise(std::span<const unsigned char> head);
    // Whether an input whose first byte is `first` may be compressed (every magic starts with one of these).
    [[nodiscard]] static bool mayStart(int first) {
        return first == 0x1F || first == 0x28 || first == 0xFD || first == 'B';
    }

    // Opens the decompressed view of `source`, from which `head` was already taken. Closing the returned file
    // ends the stream and closes `source` unless it is standard input; `stream` is valid until then. Nothing
    // when the decompressor cannot be set up (out of memory).
    [[nodiscard]] static FILE* open(Format format, FILE* source, std::span<const unsigned char> head,
                                    CompressedStream*& stream);

    ~CompressedStream();
    CompressedStream(const CompressedStream&) = delete;
    CompressedStream& operator=(const CompressedStream&) = delete;

    // Compressed bytes taken from the input so far, the first bytes included.
    [[nodiscard]] std::uint64_t compressedBytes() const { return compressedBytes_; }
    // Why the stream could not be decompressed to its end; empty while it is sound.
    [[nodiscard]] const std::string& damage() const { return damage_; }

private:
    class Decoder;
    class GzipDecoder;
    class ZstdDecoder;
    class XzDecoder;
    class Bzip2Decoder;

    template <typename Made>
    static std::unique_ptr<Decoder> readyOrNone(std::unique_ptr<Made> decoder);

    CompressedStream(Format format, FILE* source, std::span<const unsigned char> head);

    // Fills `output` as far as the input allows: the bytes written, 0 at the clean end of the stream, -1 once
    // the stream is damaged (the reason then stands in `damage`).
    std::int64_t read(unsigned char* output, std::size_t size);
    // Takes the next block of compressed bytes; false at the end of the input or on a read error.
    bool refill();

    static ssize_t readCallback(void* cookie, char* buffer, std::size_t size);
    static int closeCallback(void* cookie);

    std::unique_ptr<Decoder> decoder_;
    Format format_;
    FILE* source_;
    std::vector<unsigned char> input_;
    std::size_t inputStart_ = 0;
    std::size_t inputEnd_ = 0;
    std::uint64_t compressedBytes_ = 0;
    std::string damage_;
    bool ended_ = false;
};

}  // namespace korvo::measurement
