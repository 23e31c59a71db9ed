#pragma once
// A temporary file of runs of values (a flow shard's segments, IPv4 or IPv6, each run sorted in hand-out
// order; the segments of a flow too large to judge in memory), written when what is kept in memory reaches
// the memory limit and read back, a block at a time per run. The file is made in $TMPDIR (else /tmp)
// without a name, so it vanishes with the process however the run ends.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvo::measurement {

template <typename Segment>
class RunFile {
public:
    struct Run {
        std::uint64_t first;
        std::uint64_t count;
    };

    // Reads one run in order, a block of segments at a time.
    class Reader {
    public:
        Reader(const RunFile& file, Run run);
        [[nodiscard]] bool done() const { return next_ == buffer_.size() && left_ == 0; }
        // The segment at the front; only when not done.
        [[nodiscard]] const Segment& front() const { return buffer_[next_]; }
        void pop();

    private:
        void refill();

        const RunFile* file_;
        std::uint64_t position_;
        std::uint64_t left_;
        std::vector<Segment> buffer_;
        std::size_t next_ = 0;
    };

    RunFile();
    RunFile(const RunFile&) = delete;
    RunFile& operator=(const RunFile&) = delete;
    ~RunFile();

    // Appends segments to the run being written.
    void write(std::span<const Segment> segments);
    // Ends the run being written and returns where it lies.
    Run endRun();

private:
    [[noreturn]] void fail(const char* what, int error) const;

    std::string folder_;
    int descriptor_ = -1;
    std::uint64_t written_ = 0;
    std::uint64_t runStart_ = 0;
};

}  // namespace korvo::measurement
