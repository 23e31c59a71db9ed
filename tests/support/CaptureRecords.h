#pragma once
// The records of a classic capture file written by the project's capture writer, taken apart so that tests
// can write parts of it (the first frames, rotated pieces, merged captures) and compressed copies of it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace korvo::e2e {

class CaptureRecords {
public:
    // One record: its timestamp and its bytes as stored (record header included).
    struct Record {
        std::uint64_t seconds = 0;
        std::uint64_t microseconds = 0;
        std::string bytes;
    };

    // Reads a capture in the byte order of this machine; throws when it is not one.
    explicit CaptureRecords(const std::filesystem::path& path);

    [[nodiscard]] const std::vector<Record>& records() const { return records_; }
    // Writes the file header followed by `records` (of this or of another capture of the same header).
    void write(const std::filesystem::path& path, const std::vector<Record>& records) const;
    // Writes the records from `first` up to, not including, `end`.
    void writeRange(const std::filesystem::path& path, std::size_t first, std::size_t end) const;

private:
    std::string fileHeader_;
    std::vector<Record> records_;
};

// The whole file at `path`, and a file written with these bytes.
std::string fileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, const std::string& bytes);

// The bytes as one gzip member, one zstd frame, one xz stream and one bzip2 stream.
std::string gzipCompressed(const std::string& bytes);
std::string zstdCompressed(const std::string& bytes);
std::string xzCompressed(const std::string& bytes);
std::string bzip2Compressed(const std::string& bytes);

}  // namespace korvo::e2e
