#pragma once
// Ends a run that SIGINT or SIGTERM stops without leaving anything half-done: while a watcher lives, a thread
// of its own takes those signals (every other thread of the run blocks them), removes the temporary result
// files under way, wipes the progress line and ends the process as the signal would have (status 130 or
// 143 in a shell). A stop waits while a StopHold is held, so that placing the result files is never cut
// short. A signal the process was told to ignore stays ignored.

#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

#include <signal.h>

namespace korvo::measurement {

class InterruptWatcher {
public:
    // Holds a stop back while it lives; temporary files are recorded and forgotten under it, so that a stop
    // never falls between making a file and recording it.
    class StopHold {
    public:
        StopHold();

    private:
        std::unique_lock<std::mutex> lock_;
    };

    InterruptWatcher();
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    static void recordTemporary(const StopHold& hold, const std::string& path);
    static void forgetTemporary(const StopHold& hold, const std::string& path);
    // The width of the line standing on standard error, which a stop blanks; 0 when none stands.
    static void standingLine(std::size_t width);

private:
    void watch() const;
    // Closes the descriptors and gives the thread back its signal mask.
    void release();
    [[noreturn]] static void stop(int signalNumber);

    sigset_t watched_{};
    sigset_t previousMask_{};
    int signalDescriptor_ = -1;
    int wakeDescriptor_ = -1;
    std::thread thread_;
};

}  // namespace korvo::measurement
