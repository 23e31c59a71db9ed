#pragma once
// One result file, created or emptied on opening. Every failure to open, write or close it is raised as a
// std::runtime_error "Error writing result file <name>: <system reason>", so that a run never reports success
// over files that were not written.

#include <cstdio>
#include <string>
#include <string_view>

#include "measurement/DetailText.h"

namespace korvo::measurement {

class ResultFile {
public:
    explicit ResultFile(std::string fileName);
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;
    ~ResultFile();

    void write(std::string_view text);
    void write(const DetailText& text);
    // Writes a newline and flushes, so that the file is complete up to this line should the run stop.
    void endLine();
    void close();

private:
    [[noreturn]] void fail(int error) const;

    std::string fileName_;
    std::FILE* file_;
};

}  // namespace korvo::measurement
