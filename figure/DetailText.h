#pragma once
// The detail rows of one measurement. Rows are kept in memory up to a few MiB at a time; beyond that they go
// to an anonymous temporary file (in $TMPDIR, else /tmp), so that a capture with hundreds of millions of
// listed packets does not need the memory to hold their text. The file vanishes with the process. A text
// that streams passes its rows on in pieces of that size instead, as they come, and then holds only the
// rows not yet passed.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace korvo::measurement {

class DetailText {
public:
    DetailText() = default;
    DetailText(DetailText&&) noexcept = default;
    DetailText& operator=(DetailText&&) noexcept = default;
    // A text that held rows up to a raised threshold leaves its buffer to the next such text.
    ~DetailText();

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
    // Keeps up to `bytes` in memory before moving rows on (4 MiB unless set). Past 4 MiB such a text
    // takes a buffer of the whole size at once, one that an earlier text left where there is one, so that
    // its rows are neither moved as the buffer grows nor written to memory the system has not handed out.
    void holdUpTo(std::size_t bytes) { threshold_ = bytes; }
    // Passes the text held so far to `sink`, and from then on every piece that reaches the threshold, and
    // every text appended, as it comes; the text passed is forgotten.
    void streamTo(std::function<void(std::string_view)> sink);
    // Passes what a streaming text still holds to its sink.
    void flush();
    // Passes what a streaming text still holds to its sink and lets go of the sink: rows that come later
    // are held again.
    void endStream();

private:
    friend class DetailRow;
    static constexpr std::size_t kSpillThreshold = std::size_t{4} << 20;

    struct FileClose {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    // Called by DetailRow after each complete row.
    void rowEnded() {
        if (buffer_.size() >= kSpillThreshold) {
            if (buffer_.size() >= threshold_) {
                moveOn();
            } else if (buffer_.capacity() < threshold_) {
                enlarge();
            }
        }
    }
    // Moves the rows into a buffer that holds up to the threshold.
    void enlarge();
    // Moves the rows held in memory to the sink, or else to the temporary file.
    void moveOn();
    void spill();
    // Appends `piece` to the temporary file, which exists.
    void writeSpill(std::string_view piece);
    // Appends the whole of `later`'s temporary file to this one's, which exists.
    void copySpill(const DetailText& later);
    void readSpill(const std::function<void(std::string_view)>& write) const;

    std::string buffer_;
    std::unique_ptr<std::FILE, FileClose> spill_;
    std::uint64_t spilledBytes_ = 0;
    std::size_t threshold_ = kSpillThreshold;
    std::function<void(std::string_view)> sink_;
};

}  // namespace korvo::measurement
