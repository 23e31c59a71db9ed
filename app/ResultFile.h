#pragma once
// One result file. It is written under a temporary name beside its own (NAME.part-PID-N) and given its name
// only when placed, complete, so that a file under a result name is always whole; a file not placed
// removes its temporary on destruction, and a run stopped by SIGINT or SIGTERM removes it too. Every failure
// to create, write or place it is raised as a std::runtime_error "Error writing result file <name>: <system
// reason>", so that a run never reports success over files that were not written.

#include <cstddef>
#include <cstdio>
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
    // Writes a newline and flushes, so that a full disk is noticed at the line that met it.
    void endLine();
    // Completes the temporary file; nothing more can be written.
    void finish();
    // Gives the finished file its name, while `hold` keeps a stop back.
    void place(const InterruptWatcher::StopHold& hold);

private:
    [[noreturn]] void fail(int error) const;
    // Removes the temporary file and forgets it.
    void discard(const InterruptWatcher::StopHold& hold);

    std::string fileName_;
    std::string temporaryName_;
    // Writes reach the file in pieces of this size or more: rows come a few at a time from some figures.
    static constexpr std::size_t kWritePiece = std::size_t{1} << 20;

    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    bool placed_ = false;
};

}  // namespace korvo::measurement
