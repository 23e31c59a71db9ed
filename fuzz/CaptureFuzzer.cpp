// The fuzz target: arbitrary bytes taken as a capture file and run through the whole analysis, without and
// with extended statistics, the results written to a scratch folder. A run may fail only as the tool
// reports failures (RunFailure); a crash, a sanitizer report, a leak, a hang or any other exception is a
// finding.

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/MeasurementRun.h"
#include "app/RunFailure.h"

namespace {

std::filesystem::path scratchFolder;

// Memory-backed when the system has such a folder: the target writes a capture and up to twelve result
// files per input.
std::filesystem::path makeScratchFolder() {
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = (base / "wiretally-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    return pattern;
}

void removeScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(scratchFolder, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    scratchFolder = makeScratchFolder();
    std::atexit(removeScratchFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string capture = (scratchFolder / "input.pcap").string();
    const std::string prefix = (scratchFolder / "out").string();
    std::FILE* file = std::fopen(capture.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::perror(capture.c_str());
        std::abort();
    }
    for (const bool extended : {false, true}) {
        korvo::measurement::MeasurementRun run;
        try {
            // The extended run also writes the flow table, analyses IPv6, follows tunnels, finds
            // retransmissions, follows connections and writes the JSON summary and the report.
            run.analyse({.inputs = {capture},
                         .filter = "",
                         .prefix = prefix,
                         .extended = extended,
                         .flowTable = extended,
                         .decoding = {extended, extended},
                         .retransmissions = extended,
                         .connections = extended,
                         .outputs = {extended, extended},
                         .resources = {}});
        } catch (const korvo::measurement::RunFailure&) {
            // A documented end: the command line reports it and exits with -2.
        }
    }
    return 0;
}
