#include "support/ToolRun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace korvo::e2e {

namespace {

// Longer than any run of these tests takes; a run that hangs is killed and reported as timed out.
constexpr std::chrono::seconds kRunTimeLimit{120};

std::system_error systemError(const std::string& what) {
    return std::system_error(errno, std::generic_category(), what);
}

class Pipe {
public:
    Pipe() {
        if (::pipe2(ends_.data(), O_CLOEXEC) != 0) {
            throw systemError("pipe");
        }
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    [[nodiscard]] int readEnd() const { return ends_[0]; }
    [[nodiscard]] int writeEnd() const { return ends_[1]; }
    void closeRead() { closeEnd(ends_[0]); }
    void closeWrite() { closeEnd(ends_[1]); }

private:
    static void closeEnd(int& end) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
    std::array<int, 2> ends_{-1, -1};
};

// In the child: working folder, standard streams, then the program. Only async-signal-safe calls.
[[noreturn]] void becomeProgram(const char* folder, const Pipe& out, const Pipe& err, char* const* argv) {
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull < 0 || ::dup2(devNull, STDIN_FILENO) < 0 || ::dup2(out.writeEnd(), STDOUT_FILENO) < 0 ||
        ::dup2(err.writeEnd(), STDERR_FILENO) < 0 || ::chdir(folder) != 0) {
        ::_exit(126);
    }
    ::execvp(argv[0], argv);
    ::_exit(127);
}

// Reads both pipes to their end, or until the time limit; returns false on a timeout.
bool collectOutput(Pipe& out, Pipe& err, RunResult& result) {
    const auto deadline = std::chrono::steady_clock::now() + kRunTimeLimit;
    std::array<pollfd, 2> fds{pollfd{out.readEnd(), POLLIN, 0}, pollfd{err.readEnd(), POLLIN, 0}};
    std::array<std::string*, 2> sinks{&result.standardOutput, &result.standardError};
    std::array<char, 4096> chunk{};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            throw systemError("poll");
        }
        for (std::size_t i = 0; i < fds.size() && ready > 0; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t got = ::read(fds[i].fd, chunk.data(), chunk.size());
            if (got > 0) {
                sinks[i]->append(chunk.data(), static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
            }
        }
    }
    return true;
}

}  // namespace

ToolRun::ToolRun(std::filesystem::path binary) : binary_(std::move(binary)) {
    std::string pattern = (std::filesystem::temp_directory_path() / "wiretally-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw systemError("mkdtemp");
    }
    folder_ = pattern;
}

ToolRun::~ToolRun() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

RunResult ToolRun::run(const std::vector<std::string>& arguments) const {
    RunResult result = runWrapped({}, arguments);
    checkJsonSummary(arguments);
    return result;
}

void ToolRun::checkJsonSummary(const std::vector<std::string>& arguments) const {
    if (std::find(arguments.begin(), arguments.end(), "--json") == arguments.end()) {
        return;
    }
    const auto prefix = std::find_if(arguments.begin(), arguments.end(), [](const std::string& word) {
        return word == "-o" || word == "--outputPrefix";
    });
    if (prefix == arguments.end() || prefix + 1 == arguments.end()) {
        return;
    }
    const std::filesystem::path summary = folder_ / (*(prefix + 1) + ".Summary.json");
    if (!std::filesystem::exists(summary)) {
        return;
    }
    // The folder is ours and the prefixes of the tests hold no quote, so single quotes suffice.
    const std::string command = std::string("/usr/bin/python3 '") + WIRETALLY_SCHEMA_DIR +
                                "/validate-summary.py' '" + WIRETALLY_SCHEMA_DIR + "/summary.schema.json' '" +
                                summary.string() + "' 2>&1";
    std::FILE* check = ::popen(command.c_str(), "r");
    ASSERT_NE(check, nullptr) << "cannot run " << command;
    std::string output;
    std::array<char, 4096> chunk{};
    for (std::size_t got = 0; (got = std::fread(chunk.data(), 1, chunk.size(), check)) > 0;) {
        output.append(chunk.data(), got);
    }
    EXPECT_EQ(::pclose(check), 0) << summary << " does not follow the schema:\n" << output;
}

RunResult ToolRun::runWrapped(const std::vector<std::string>& wrapper,
                              const std::vector<std::string>& arguments) const {
    std::vector<std::string> words = wrapper;
    words.push_back(binary_.string());
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const std::string folderText = folder_.string();

    Pipe out;
    Pipe err;
    const pid_t child = ::fork();
    if (child < 0) {
        throw systemError("fork");
    }
    if (child == 0) {
        becomeProgram(folderText.c_str(), out, err, argv.data());
    }
    out.closeWrite();
    err.closeWrite();

    RunResult result;
    result.timedOut = !collectOutput(out, err, result);
    if (result.timedOut) {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            throw systemError("waitpid");
        }
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace korvo::e2e
