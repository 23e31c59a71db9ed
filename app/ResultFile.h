#pragma once
// One result file. It is written under a temporary name beside its own and renamed into place only when
// closed complete, so that a file under a result name is always whole; a file not closed removes its
// temporary on destruction. Every failure to create, write or place it is raised as a std::runtime_error
// "Error writing result file <name>: <system reason>", so that a run never reports success over files that
// were not written.

#include <cstdio>
#include <string>
#include <string_view>

#include "report/DetailText.h"

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

    void write(std::string_view text);
    void write(const DetailText& text);
    // Writes a newline and flushes, so that a full disk is noticed at the line that met it.
    void endLine();
    // Completes the file and gives it its name.
    void close();

private:
    [[noreturn]] void fail(int error) const;

    std::string fileName_;
    std::string temporaryName_;
    std::FILE* file_ = nullptr;
};

}  // namespace korvo::measurement
