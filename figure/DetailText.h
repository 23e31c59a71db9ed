#pragma once
// The detail rows of one measurement. Rows are kept in memory up to a few MiB at a time; beyond that they go
// to an anonymous temporary file (in $TMPDIR, else /tmp), so that a capture with hundreds of millions of
// listed packets does not need the memory to hold their text. The file vanishes with the process.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace korvo::measurement {

class DetailText {
public:
    [[nodiscard]] bool empty() const { return spilledBytes_ == 0 && buffer_.empty(); }
    // Calls `write` with consecutive pieces of the whole text, in order.
    template <typename Write>
    void forEachPiece(Write&& write) const {
        if (spill_) {
            readSpill([&write](std::string_view piece) { write(piece); });
        }
        if (!buffer_.empty()) {
            write(std::string_view(buffer_));
        }
    }
    // The whole text at once.
    [[nodiscard]] std::string str() const;
    // Appends the whole of `later`'s text.
    void append(const DetailText& later);
    // Bytes held in memory, not yet moved to the temporary file.
    [[nodiscard]] std::size_t heldBytes() const { return buffer_.size(); }
    // Forgets the whole text and lets go of the temporary file.
    void clear();

private:
    friend class DetailRow;
    static constexpr std::size_t kSpillThreshold = std::size_t{4} << 20;

    struct FileClose {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    // Called by DetailRow after each complete row.
    void rowEnded() {
        if (buffer_.size() >= kSpillThreshold) {
            spill();
        }
    }
    void spill();
    // Appends the whole of `later`'s temporary file to this one's, which exists.
    void copySpill(const DetailText& later);
    void readSpill(const std::function<void(std::string_view)>& write) const;

    std::string buffer_;
    std::unique_ptr<std::FILE, FileClose> spill_;
    std::uint64_t spilledBytes_ = 0;
};

}  // namespace korvo::measurement
