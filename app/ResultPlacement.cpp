#include "app/ResultPlacement.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace korvo::measurement {

namespace {

void remove(const std::string& name) {
    if (::unlink(name.c_str()) != 0 && errno != ENOENT) {
        throw std::runtime_error("Error writing result file " + name + ": " + std::strerror(errno));
    }
}

}  // namespace

void ResultPlacement::place(const std::vector<std::string>& resultNames,
                            const std::vector<ResultFile*>& files, ResultFile& summary) {
    const InterruptWatcher::StopHold hold;
    // From here until the new summary is placed, the prefix holds no complete run.
    remove(summary.name());
    for (const std::string& name : resultNames) {
        const bool written = std::any_of(files.begin(), files.end(),
                                         [&name](const ResultFile* file) { return file->name() == name; });
        if (!written) {
            remove(name);
        }
    }
    for (ResultFile* file : files) {
        file->place(hold);
    }
    summary.place(hold);
}

}  // namespace korvo::measurement
