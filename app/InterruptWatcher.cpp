#include "app/InterruptWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace korvo::measurement {

namespace {

constexpr std::array<int, 2> kStopSignals = {SIGINT, SIGTERM};

std::mutex& stopMutex() {
    static std::mutex mutex;
    return mutex;
}

// Guarded by stopMutex().
std::vector<std::string>& temporaries() {
    static std::vector<std::string> paths;
    return paths;
}

std::atomic<std::size_t> standingWidth{0};

void blankStandingLine() {
    const std::size_t width = standingWidth.exchange(0);
    if (width == 0) {
        return;
    }
    const std::string blank = '\r' + std::string(width, ' ') + '\r';
    const ssize_t ignored = ::write(STDERR_FILENO, blank.data(), blank.size());
    static_cast<void>(ignored);
}

}  // namespace

InterruptWatcher::StopHold::StopHold() : lock_(stopMutex()) {}

InterruptWatcher::InterruptWatcher() {
    ::sigemptyset(&watched_);
    bool any = false;
    for (const int signalNumber : kStopSignals) {
        struct sigaction current {};
        ::sigaction(signalNumber, nullptr, &current);
        if (current.sa_handler == SIG_DFL) {
            ::sigaddset(&watched_, signalNumber);
            any = true;
        }
    }
    if (!any) {
        ::pthread_sigmask(SIG_BLOCK, nullptr, &previousMask_);
        return;
    }
    // Blocked here before any other thread of the run starts, so every one of them inherits it.
    ::pthread_sigmask(SIG_BLOCK, &watched_, &previousMask_);
    signalDescriptor_ = ::signalfd(-1, &watched_, SFD_CLOEXEC);
    wakeDescriptor_ = ::eventfd(0, EFD_CLOEXEC);
    if (signalDescriptor_ < 0 || wakeDescriptor_ < 0) {
        const int error = errno;
        release();
        throw std::system_error(error, std::generic_category(), "Cannot watch for SIGINT and SIGTERM");
    }
    try {
        thread_ = std::thread([this] { watch(); });
    } catch (...) {
        release();
        throw;
    }
}

InterruptWatcher::~InterruptWatcher() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        const ssize_t ignored = ::write(wakeDescriptor_, &one, sizeof one);
        static_cast<void>(ignored);
        thread_.join();
    }
    release();
}

void InterruptWatcher::release() {
    for (int* descriptor : {&signalDescriptor_, &wakeDescriptor_}) {
        if (*descriptor >= 0) {
            ::close(*descriptor);
            *descriptor = -1;
        }
    }
    // A signal that came after the watcher left is delivered now, as it would have been without a watcher.
    ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void InterruptWatcher::watch() const {
    std::array<pollfd, 2> descriptors = {pollfd{signalDescriptor_, POLLIN, 0},
                                         pollfd{wakeDescriptor_, POLLIN, 0}};
    for (;;) {
        if (::poll(descriptors.data(), descriptors.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (descriptors[1].revents != 0) {
            return;
        }
        signalfd_siginfo received{};
        if (::read(signalDescriptor_, &received, sizeof received) == static_cast<ssize_t>(sizeof received)) {
            stop(static_cast<int>(received.ssi_signo));
        }
    }
}

void InterruptWatcher::stop(int signalNumber) {
    // Waits for a placement under way to finish, and keeps the files from changing under the removal.
    const StopHold hold;
    for (const std::string& path : temporaries()) {
        ::unlink(path.c_str());
    }
    blankStandingLine();
    // Ends the process by the signal's own default action, so the parent sees how it ended.
    ::signal(signalNumber, SIG_DFL);
    sigset_t only;
    ::sigemptyset(&only);
    ::sigaddset(&only, signalNumber);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signalNumber);
    std::_Exit(128 + signalNumber);
}

void InterruptWatcher::recordTemporary(const StopHold& /*hold*/, const std::string& path) {
    temporaries().push_back(path);
}

void InterruptWatcher::forgetTemporary(const StopHold& /*hold*/, const std::string& path) {
    std::vector<std::string>& paths = temporaries();
    const auto found = std::find(paths.begin(), paths.end(), path);
    if (found != paths.end()) {
        paths.erase(found);
    }
}

void InterruptWatcher::standingLine(std::size_t width) {
    standingWidth = width;
}

}  // namespace korvo::measurement
