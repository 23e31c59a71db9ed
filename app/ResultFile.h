#pragma once
// One result file. It is written under a temporary name beside its own (NAME.part-PID-N) and given its name
// only when placed, complete, so that a file under a result name is always whole; a file not placed
// removes its temporary on destruction, and a run stopped by SIGINT or SIGTERM removes it too. Every failure
// to create, write or place it is raised as a std::runtime_error "Error writing result file <name>: <system
// reason>", so that a run never reports success over files that were not written. A file that grows past a
// few tens of MiB is sent on to the disk as it is written and let go of behind, so that a table of
// gigabytes neither fills the page cache, pushing out the capture being read, nor costs the copy into
// memory that it would have to be given first.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/InterruptWatcher.h"
#include "figure/DetailText.h"

namespace korvo::measurement {

class ResultFile {
public:
    explicit ResultFile(std::string fileName);
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;
    ~ResultFile();

    // Fails as a result file would when nothing can be created beside `fileName`; creates nothing that
    // stays.
    static void checkCreatable(const std::string& fileName);

    [[nodiscard]] const std::string& name() const { return fileName_; }
    void write(std::string_view text);
    void write(const DetailText& text);
    // Completes the temporary file; nothing more can be written.
    void finish();
    // Gives the finished file its name, while `hold` keeps a stop back.
    void place(const InterruptWatcher::StopHold& hold);

private:
    [[noreturn]] void fail(int error) const;
    // Removes the temporary file and forgets it.
    void discard(const InterruptWatcher::StopHold& hold);

    // Hands `text` to the system.
    void writeOut(std::string_view text);
    void flushBuffer();
    // Starts the disk writes of the parts of the file handed over in full, and lets go of the parts far
    // enough behind, once they are on the disk.
    void writeBehind();

    std::string fileName_;
    std::string temporaryName_;
    // Writes reach the file in pieces of this size or more: rows come a few at a time from some figures.
    static constexpr std::size_t kWritePiece = std::size_t{1} << 20;
    // The file is sent to the disk in parts of kWriteBehindPart bytes once it holds kWriteBehindStart; a
    // part is let go of once kWriteBehindLag bytes after it are on their way.
    static constexpr std::uint64_t kWriteBehindPart = std::uint64_t{8} << 20;
    static constexpr std::uint64_t kWriteBehindLag = std::uint64_t{32} << 20;
    static constexpr std::uint64_t kWriteBehindStart = std::uint64_t{64} << 20;

    int descriptor_ = -1;
    std::unique_ptr<char[]> buffer_;
    std::size_t buffered_ = 0;
    // Bytes handed to the system, bytes whose disk write was started and bytes let go of.
    std::uint64_t handedOver_ = 0;
    std::uint64_t sentOn_ = 0;
    std::uint64_t letGo_ = 0;
    // Cleared where the file system cannot start writes of a range.
    bool writingBehind_ = true;
    bool placed_ = false;
};

}  // namespace korvo::measurement
