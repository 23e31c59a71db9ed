#include "robustness/PeakMemoryRun.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace korvo::robustness {

namespace {

constexpr std::uint64_t kBytesPerKibibyte = 1024;

}  // namespace

PeakMemory PeakMemoryRun::run(const std::filesystem::path& binary, const std::vector<std::string>& arguments,
                              const std::filesystem::path& folder) {
    std::vector<std::string> words = {binary.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const std::string folderText = folder.string();

    const pid_t child = ::fork();
    if (child < 0) {
        throw std::system_error(errno, std::generic_category(), "fork");
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        const int devNull = ::open("/dev/null", O_RDWR);
        if (devNull < 0 || ::dup2(devNull, STDIN_FILENO) < 0 || ::dup2(devNull, STDOUT_FILENO) < 0 ||
            ::dup2(devNull, STDERR_FILENO) < 0 || ::chdir(folderText.c_str()) != 0) {
            ::_exit(126);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "wait4");
        }
    }
    PeakMemory result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // Linux counts the peak resident set in kibibytes.
    result.peakBytes = static_cast<std::uint64_t>(usage.ru_maxrss) * kBytesPerKibibyte;
    return result;
}

}  // namespace korvo::robustness
