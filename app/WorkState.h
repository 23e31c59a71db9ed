#pragma once
// The record of what one step of a split run found, as a text file in its part of the work folder: one
// field per line, a key and its values separated by blanks, texts with their blanks, line ends and other
// bytes outside printable ASCII written as %XX. Read back field by field in the order written; a file that
// does not hold the field expected next is reported as damaged.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::measurement {

class WorkState {
public:
    // A state to write.
    WorkState() = default;
    // The state written to `path`; a file that cannot be read is thrown.
    static WorkState read(const std::string& path);

    // Appends a field.
    void add(std::string_view key, const std::vector<std::string>& values);
    // Writes the fields to `path`; a failure is thrown.
    void write(const std::string& path) const;

    // The values of the next field, which must be `key`.
    std::vector<std::string> take(std::string_view key);
    // Whether the next field is `key`.
    [[nodiscard]] bool next(std::string_view key) const;
    // Passes over the next field; a state at its end is reported as damaged.
    void skip();
    // A 64-bit FNV-1a digest of every line, continuing `digest`.
    static constexpr std::uint64_t kDigestStart = 14695981039346656037ULL;
    [[nodiscard]] std::uint64_t digest(std::uint64_t digest) const;

    // A text as one value, and back.
    [[nodiscard]] static std::string encode(std::string_view text);
    [[nodiscard]] std::string decode(const std::string& value) const;
    // A number as one value, and back; a value that is no number is reported as damage.
    [[nodiscard]] std::uint64_t number(const std::string& value) const;
    [[nodiscard]] std::int64_t signedNumber(const std::string& value) const;

private:
    [[noreturn]] void damaged(const std::string& why) const;

    std::string path_;
    std::vector<std::string> lines_;
    std::size_t next_ = 0;
};

}  // namespace korvo::measurement
