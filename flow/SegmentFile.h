#pragma once
// A named file of flow segments (IPv4 or IPv6, by `Segment`) as they lie in memory, in hand-out order: how
// one step of a run split over machines hands a shard's segments to the next. Written and read back a block
// at a time.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace korvo::measurement {

template <typename Segment>
class SegmentFile {
public:
    // Takes segments as a flow shard hands them out.
    class Writer {
    public:
        // Creates `path`, or empties it.
        explicit Writer(std::string path);
        void add(const Segment& segment, std::uint32_t /*orderKey*/) {
            block_.push_back(segment);
            if (block_.size() == kBlock) {
                writeHeld();
            }
        }
        // Writes what is buffered and closes the file; a failure to do either is thrown.
        void finish();

    private:
        static constexpr std::size_t kBlock = 4096;

        void writeHeld();

        struct Close {
            void operator()(std::FILE* file) const { std::fclose(file); }
        };
        std::string path_;
        std::unique_ptr<std::FILE, Close> file_;
        std::vector<Segment> block_;
    };

    // Calls `take` with consecutive blocks of the segments of `path`, in order. A file that does not hold a
    // whole number of segments is thrown as damaged.
    static void read(const std::string& path, const std::function<void(std::span<const Segment>)>& take);
};

}  // namespace korvo::measurement
