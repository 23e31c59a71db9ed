#include "capture/CompressedStream.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

namespace korvo::measurement {

namespace {

// Large enough that the decompressor, not the calls into it, sets the pace.
constexpr std::size_t kInputBlock = std::size_t{1} << 16;
constexpr std::size_t kOutputBuffer = std::size_t{1} << 16;

constexpr std::array<unsigned char, 2> kGzipMagic = {0x1F, 0x8B};
constexpr std::array<unsigned char, 4> kZstdMagic = {0x28, 0xB5, 0x2F, 0xFD};
constexpr std::array<unsigned char, 6> kXzMagic = {0xFD, '7', 'z', 'X', 'Z', 0x00};
// "BZh" and the block size, '1' to '9'.
constexpr std::array<unsigned char, 3> kBzip2Magic = {'B', 'Z', 'h'};

// The names the messages give each format.
const char* nameOf(CompressedStream::Format format) {
    switch (format) {
        case CompressedStream::Format::Gzip:
            return "gzip";
        case CompressedStream::Format::Zstd:
            return "zstd";
        case CompressedStream::Format::Xz:
            return "xz";
        case CompressedStream::Format::Bzip2:
            return "bzip2";
    }
    return "compressed";
}

std::string lzmaError(lzma_ret result) {
    switch (result) {
        case LZMA_MEM_ERROR:
            return "out of memory";
        case LZMA_FORMAT_ERROR:
            return "not in the xz format";
        case LZMA_OPTIONS_ERROR:
            return "unsupported compression options";
        case LZMA_DATA_ERROR:
            return "compressed data is corrupt";
        case LZMA_BUF_ERROR:
            return "compressed data is cut short";
        default:
            return "liblzma error " + std::to_string(static_cast<int>(result));
    }
}

std::string bzip2Error(int result) {
    switch (result) {
        case BZ_DATA_ERROR:
            return "compressed data is corrupt";
        case BZ_DATA_ERROR_MAGIC:
            return "not in the bzip2 format";
        case BZ_MEM_ERROR:
            return "out of memory";
        default:
            return "libbz2 error " + std::to_string(result);
    }
}

// zlib counts in unsigned int; the blocks handed to it stay far below that.
uInt zlibSize(std::size_t size) {
    return static_cast<uInt>(std::min<std::size_t>(size, UINT_MAX));
}

}  // namespace

// One decompressor behind a common face: decodes as much of `input` into `output` as it can.
class CompressedStream::Decoder {
public:
    struct Step {
        std::size_t taken = 0;
        std::size_t produced = 0;
        // A whole gzip member or zstd frame ended with this step, and nothing of it is left to hand out.
        bool ended = false;
        std::string error;
    };

    virtual ~Decoder() = default;
    virtual Step decode(const unsigned char* input, std::size_t inputSize, unsigned char* output,
                        std::size_t outputSize) = 0;
    // Prepares for a further member or frame after one has ended.
    virtual void restart() = 0;
};

class CompressedStream::GzipDecoder : public Decoder {
public:
    GzipDecoder() {
        // 16 added to the window bits: a gzip header and trailer (with its CRC) around the deflate data.
        ready_ = inflateInit2(&stream_, MAX_WBITS + 16) == Z_OK;
    }
    ~GzipDecoder() override {
        if (ready_) {
            inflateEnd(&stream_);
        }
    }
    GzipDecoder(const GzipDecoder&) = delete;
    GzipDecoder& operator=(const GzipDecoder&) = delete;

    [[nodiscard]] bool ready() const { return ready_; }

    Step decode(const unsigned char* input, std::size_t inputSize, unsigned char* output,
                std::size_t outputSize) override {
        stream_.next_in = const_cast<Bytef*>(input);
        stream_.avail_in = zlibSize(inputSize);
        stream_.next_out = output;
        stream_.avail_out = zlibSize(outputSize);
        const uInt inputGiven = stream_.avail_in;
        const uInt outputGiven = stream_.avail_out;
        const int result = inflate(&stream_, Z_NO_FLUSH);
        Step step;
        step.taken = inputGiven - stream_.avail_in;
        step.produced = outputGiven - stream_.avail_out;
        step.ended = result == Z_STREAM_END;
        // Z_BUF_ERROR only says that no progress was possible with what was given: more input decides.
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            step.error = stream_.msg != nullptr ? stream_.msg : "zlib error " + std::to_string(result);
        }
        return step;
    }

    void restart() override { inflateReset(&stream_); }

private:
    z_stream stream_{};
    bool ready_ = false;
};

class CompressedStream::ZstdDecoder : public Decoder {
public:
    ZstdDecoder() : stream_(ZSTD_createDStream()) {}
    ~ZstdDecoder() override { ZSTD_freeDStream(stream_); }
    ZstdDecoder(const ZstdDecoder&) = delete;
    ZstdDecoder& operator=(const ZstdDecoder&) = delete;

    [[nodiscard]] bool ready() const { return stream_ != nullptr; }

    Step decode(const unsigned char* input, std::size_t inputSize, unsigned char* output,
                std::size_t outputSize) override {
        ZSTD_inBuffer in{input, inputSize, 0};
        ZSTD_outBuffer out{output, outputSize, 0};
        const std::size_t result = ZSTD_decompressStream(stream_, &out, &in);
        Step step;
        step.taken = in.pos;
        step.produced = out.pos;
        if (ZSTD_isError(result) != 0U) {
            step.error = ZSTD_getErrorName(result);
        } else {
            // 0: a frame is decoded and flushed whole; the stream object then takes the next frame by itself.
            step.ended = result == 0;
        }
        return step;
    }

    void restart() override {}

private:
    ZSTD_DStream* stream_;
};

class CompressedStream::XzDecoder : public Decoder {
public:
    XzDecoder() { ready_ = start(); }
    ~XzDecoder() override { lzma_end(&stream_); }
    XzDecoder(const XzDecoder&) = delete;
    XzDecoder& operator=(const XzDecoder&) = delete;

    [[nodiscard]] bool ready() const { return ready_; }

    Step decode(const unsigned char* input, std::size_t inputSize, unsigned char* output,
                std::size_t outputSize) override {
        stream_.next_in = input;
        stream_.avail_in = inputSize;
        stream_.next_out = output;
        stream_.avail_out = outputSize;
        const lzma_ret result = lzma_code(&stream_, LZMA_RUN);
        Step step;
        step.taken = inputSize - stream_.avail_in;
        step.produced = outputSize - stream_.avail_out;
        step.ended = result == LZMA_STREAM_END;
        // LZMA_BUF_ERROR only says that no progress was possible with what was given: more input decides.
        if (result != LZMA_OK && result != LZMA_STREAM_END && result != LZMA_BUF_ERROR) {
            step.error = lzmaError(result);
        }
        return step;
    }

    // A further xz stream after one has ended, as xz writes when files are concatenated.
    void restart() override { ready_ = start(); }

private:
    bool start() {
        // No memory limit: the capture's own dictionary size decides, as with the xz command.
        return lzma_stream_decoder(&stream_, UINT64_MAX, 0) == LZMA_OK;
    }

    lzma_stream stream_ = LZMA_STREAM_INIT;
    bool ready_ = false;
};

class CompressedStream::Bzip2Decoder : public Decoder {
public:
    Bzip2Decoder() { ready_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK; }
    ~Bzip2Decoder() override { end(); }
    Bzip2Decoder(const Bzip2Decoder&) = delete;
    Bzip2Decoder& operator=(const Bzip2Decoder&) = delete;

    [[nodiscard]] bool ready() const { return ready_; }

    Step decode(const unsigned char* input, std::size_t inputSize, unsigned char* output,
                std::size_t outputSize) override {
        // libbz2 counts in unsigned int and wants writable pointers; it writes nothing through next_in.
        stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(input));
        stream_.avail_in = static_cast<unsigned>(std::min<std::size_t>(inputSize, UINT_MAX));
        stream_.next_out = reinterpret_cast<char*>(output);
        stream_.avail_out = static_cast<unsigned>(std::min<std::size_t>(outputSize, UINT_MAX));
        const unsigned inputGiven = stream_.avail_in;
        const unsigned outputGiven = stream_.avail_out;
        const int result = BZ2_bzDecompress(&stream_);
        Step step;
        step.taken = inputGiven - stream_.avail_in;
        step.produced = outputGiven - stream_.avail_out;
        step.ended = result == BZ_STREAM_END;
        if (result != BZ_OK && result != BZ_STREAM_END) {
            step.error = bzip2Error(result);
        }
        return step;
    }

    // A further bzip2 stream after one has ended, as bzip2 and pbzip2 write them.
    void restart() override {
        end();
        stream_ = bz_stream{};
        ready_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK;
    }

private:
    void end() {
        if (ready_) {
            BZ2_bzDecompressEnd(&stream_);
            ready_ = false;
        }
    }

    bz_stream stream_{};
    bool ready_ = false;
};

// The decoder, or nothing where it could not be set up.
template <typename Made>
std::unique_ptr<CompressedStream::Decoder> CompressedStream::readyOrNone(std::unique_ptr<Made> decoder) {
    if (!decoder->ready()) {
        return nullptr;
    }
    return decoder;
}

std::optional<CompressedStream::Format> CompressedStream::recognise(std::span<const unsigned char> head) {
    if (head.size() >= kGzipMagic.size() && std::equal(kGzipMagic.begin(), kGzipMagic.end(), head.begin())) {
        return Format::Gzip;
    }
    if (head.size() >= kZstdMagic.size() && std::equal(kZstdMagic.begin(), kZstdMagic.end(), head.begin())) {
        return Format::Zstd;
    }
    if (head.size() >= kXzMagic.size() && std::equal(kXzMagic.begin(), kXzMagic.end(), head.begin())) {
        return Format::Xz;
    }
    if (head.size() > kBzip2Magic.size() &&
        std::equal(kBzip2Magic.begin(), kBzip2Magic.end(), head.begin()) && head[kBzip2Magic.size()] >= '1' &&
        head[kBzip2Magic.size()] <= '9') {
        return Format::Bzip2;
    }
    return std::nullopt;
}

FILE* CompressedStream::open(Format format, FILE* source, std::span<const unsigned char> head,
                             CompressedStream*& stream) {
    std::unique_ptr<CompressedStream> made(new CompressedStream(format, source, head));
    if (!made->decoder_) {
        made->source_ = nullptr;
        return nullptr;
    }
    const cookie_io_functions_t functions{&CompressedStream::readCallback, nullptr, nullptr,
                                          &CompressedStream::closeCallback};
    FILE* file = fopencookie(made.get(), "r", functions);
    if (file == nullptr) {
        made->source_ = nullptr;
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IOFBF, kOutputBuffer);
    stream = made.release();
    return file;
}

CompressedStream::CompressedStream(Format format, FILE* source, std::span<const unsigned char> head)
    : format_(format), source_(source), input_(std::max(kInputBlock, head.size())) {
    switch (format) {
        case Format::Gzip:
            decoder_ = readyOrNone(std::make_unique<GzipDecoder>());
            break;
        case Format::Zstd:
            decoder_ = readyOrNone(std::make_unique<ZstdDecoder>());
            break;
        case Format::Xz:
            decoder_ = readyOrNone(std::make_unique<XzDecoder>());
            break;
        case Format::Bzip2:
            decoder_ = readyOrNone(std::make_unique<Bzip2Decoder>());
            break;
    }
    std::copy(head.begin(), head.end(), input_.begin());
    inputEnd_ = head.size();
    compressedBytes_ = head.size();
}

CompressedStream::~CompressedStream() {
    if (source_ != nullptr && source_ != stdin) {
        std::fclose(source_);
    }
}

bool CompressedStream::refill() {
    const std::size_t count = std::fread(input_.data(), 1, input_.size(), source_);
    if (count == 0) {
        if (std::ferror(source_) != 0) {
            damage_ = std::string("reading the compressed input failed: ") + std::strerror(errno);
        }
        return false;
    }
    compressedBytes_ += count;
    inputStart_ = 0;
    inputEnd_ = count;
    return true;
}

std::int64_t CompressedStream::read(unsigned char* output, std::size_t size) {
    const char* formatName = nameOf(format_);
    std::size_t produced = 0;
    while (produced < size && damage_.empty()) {
        const bool haveInput = inputStart_ < inputEnd_ || refill();
        if (!haveInput && (!damage_.empty() || ended_)) {
            break;
        }
        // Without further input the decoder may still hold output of what it was given.
        const Decoder::Step step = decoder_->decode(input_.data() + inputStart_, inputEnd_ - inputStart_,
                                                    output + produced, size - produced);
        inputStart_ += step.taken;
        produced += step.produced;
        const std::uint64_t decodedBytes = compressedBytes_ - (inputEnd_ - inputStart_);
        if (!step.error.empty()) {
            damage_ = std::string(formatName) + " stream damaged after " + std::to_string(decodedBytes) +
                      " compressed bytes: " + step.error;
            break;
        }
        ended_ = step.ended;
        if (step.ended) {
            decoder_->restart();
        } else if (!haveInput && step.produced == 0) {
            damage_ = std::string(formatName) + " stream cut short after " + std::to_string(decodedBytes) +
                      " compressed bytes";
        }
    }
    if (produced > 0) {
        return static_cast<std::int64_t>(produced);
    }
    if (!damage_.empty()) {
        errno = EIO;
        return -1;
    }
    return 0;
}

ssize_t CompressedStream::readCallback(void* cookie, char* buffer, std::size_t size) {
    return static_cast<ssize_t>(
        static_cast<CompressedStream*>(cookie)->read(reinterpret_cast<unsigned char*>(buffer), size));
}

int CompressedStream::closeCallback(void* cookie) {
    delete static_cast<CompressedStream*>(cookie);
    return 0;
}

}  // namespace korvo::measurement
