#include "support/CaptureRecords.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace korvo::e2e {

namespace {

constexpr std::size_t kFileHeaderBytes = 24;
constexpr std::size_t kRecordHeaderBytes = 16;

std::uint32_t wordAt(const std::string& bytes, std::size_t offset) {
    std::uint32_t word = 0;
    std::memcpy(&word, bytes.data() + offset, sizeof word);
    return word;
}

}  // namespace

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFileBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

CaptureRecords::CaptureRecords(const std::filesystem::path& path) {
    const std::string bytes = fileBytes(path);
    if (bytes.size() < kFileHeaderBytes || wordAt(bytes, 0) != 0xA1B2C3D4) {
        throw std::runtime_error(path.string() + " is not a capture in this machine's byte order");
    }
    fileHeader_ = bytes.substr(0, kFileHeaderBytes);
    std::size_t offset = kFileHeaderBytes;
    while (offset + kRecordHeaderBytes <= bytes.size()) {
        const std::size_t length = kRecordHeaderBytes + wordAt(bytes, offset + 8);
        if (offset + length > bytes.size()) {
            throw std::runtime_error(path.string() + " ends inside a record");
        }
        records_.push_back({wordAt(bytes, offset), wordAt(bytes, offset + 4), bytes.substr(offset, length)});
        offset += length;
    }
}

void CaptureRecords::write(const std::filesystem::path& path, const std::vector<Record>& records) const {
    std::string bytes = fileHeader_;
    for (const Record& record : records) {
        bytes += record.bytes;
    }
    writeFileBytes(path, bytes);
}

void CaptureRecords::writeRange(const std::filesystem::path& path, std::size_t first, std::size_t end) const {
    write(path, std::vector<Record>(records_.begin() + static_cast<std::ptrdiff_t>(first),
                                    records_.begin() + static_cast<std::ptrdiff_t>(end)));
}

std::string gzipCompressed(const std::string& bytes) {
    z_stream stream{};
    // 16 added to the window bits: a gzip header and trailer rather than a bare zlib stream.
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, MAX_WBITS + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string compressed(deflateBound(&stream, bytes.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(compressed.data());
    stream.avail_out = static_cast<uInt>(compressed.size());
    const int result = deflate(&stream, Z_FINISH);
    compressed.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("deflate did not finish");
    }
    return compressed;
}

std::string zstdCompressed(const std::string& bytes) {
    std::string compressed(ZSTD_compressBound(bytes.size()), '\0');
    ZSTD_CCtx* context = ZSTD_createCCtx();
    // With a checksum, as the zstd command writes its frames.
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
    const std::size_t size =
        ZSTD_compress2(context, compressed.data(), compressed.size(), bytes.data(), bytes.size());
    ZSTD_freeCCtx(context);
    if (ZSTD_isError(size) != 0U) {
        throw std::runtime_error(ZSTD_getErrorName(size));
    }
    compressed.resize(size);
    return compressed;
}

std::string xzCompressed(const std::string& bytes) {
    std::string compressed(lzma_stream_buffer_bound(bytes.size()), '\0');
    std::size_t size = 0;
    // With a CRC64 check, as the xz command writes its streams.
    const lzma_ret result = lzma_easy_buffer_encode(
        1, LZMA_CHECK_CRC64, nullptr, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
        reinterpret_cast<std::uint8_t*>(compressed.data()), &size, compressed.size());
    if (result != LZMA_OK) {
        throw std::runtime_error("lzma_easy_buffer_encode failed");
    }
    compressed.resize(size);
    return compressed;
}

std::string bzip2Compressed(const std::string& bytes) {
    // libbz2's own bound: 1% more than the input, plus 600 bytes.
    auto size = static_cast<unsigned>(bytes.size() + bytes.size() / 100 + 600);
    std::string compressed(size, '\0');
    const int result = BZ2_bzBuffToBuffCompress(compressed.data(), &size, const_cast<char*>(bytes.data()),
                                                static_cast<unsigned>(bytes.size()), 1, 0, 0);
    if (result != BZ_OK) {
        throw std::runtime_error("BZ2_bzBuffToBuffCompress failed");
    }
    compressed.resize(size);
    return compressed;
}

}  // namespace korvo::e2e
