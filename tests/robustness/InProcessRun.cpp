#include "robustness/InProcessRun.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "app/MeasurementRun.h"
#include "app/RunFailure.h"

namespace korvo::robustness {

namespace {

std::filesystem::path makeScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "wiretally-robustness-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    return pattern;
}

// Sends the process's standard output into a file while it lives, and restores it afterwards.
class StandardOutputCapture {
public:
    explicit StandardOutputCapture(const std::filesystem::path& file) : file_(file) {
        flushAll();
        saved_ = ::dup(STDOUT_FILENO);
        const int target = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (saved_ < 0 || target < 0 || ::dup2(target, STDOUT_FILENO) < 0) {
            throw std::system_error(errno, std::generic_category(), "redirecting standard output");
        }
        ::close(target);
    }
    ~StandardOutputCapture() {
        flushAll();
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }
    StandardOutputCapture(const StandardOutputCapture&) = delete;
    StandardOutputCapture& operator=(const StandardOutputCapture&) = delete;

private:
    static void flushAll() {
        std::cout.flush();
        std::fflush(stdout);
    }

    std::filesystem::path file_;
    int saved_ = -1;
};

}  // namespace

InProcessRun::InProcessRun() : folder_(makeScratchFolder()), results_(folder_, kPrefix) {}

InProcessRun::~InProcessRun() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void InProcessRun::writeCapture(std::span<const std::uint8_t> bytes) const {
    std::ofstream out(capturePath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + capturePath().string());
    }
}

RunOutcome InProcessRun::analyse(bool extended) const {
    for (const std::string& name : results_.fileNames()) {
        std::filesystem::remove(folder_ / name);
    }
    const std::filesystem::path printed = folder_ / "stdout.txt";
    RunOutcome outcome;
    {
        const StandardOutputCapture capture(printed);
        try {
            measurement::MeasurementRun run;
            measurement::RunOptions options;
            options.inputs = {capturePath().string()};
            options.prefix = (folder_ / kPrefix).string();
            options.extended = extended;
            run.analyse(options);
            outcome.succeeded = true;
        } catch (const measurement::RunFailure& failure) {
            outcome.failure = failure.what();
        }
    }
    const std::vector<std::uint8_t> text = readBytes(printed);
    outcome.standardOutput.assign(text.begin(), text.end());
    return outcome;
}

std::vector<std::uint8_t> InProcessRun::readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace korvo::robustness
