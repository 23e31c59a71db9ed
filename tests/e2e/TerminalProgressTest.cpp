// The progress line end to end: a run that lasts over a second with standard error on a pseudo-terminal
// shows the line and wipes it, without changing any result file; with standard error on a file it writes
// nothing there.

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/ToolTest.h"

namespace korvo::e2e {
namespace {

// How long the feeding of the capture pauses: past the second after which the line appears.
constexpr std::chrono::milliseconds kPause{1300};

enum class ErrorTarget { kTerminal, kFile };
// How the run ends: at the end of its input, or by SIGINT once the line is up (typed on the keyboard).
enum class Ending { kEndOfInput, kInterrupt };

struct FedRun {
    int exitStatus = -1;
    // What reached the terminal, or the file, that was standard error.
    std::string standardError;
};

class TerminalProgressTest : public ToolTest {
protected:
    void SetUp() override {
        // A tool that ends early must fail the test rather than end it by a broken pipe.
        ::signal(SIGPIPE, SIG_IGN);
        writeCapture();
    }

    // Many short segments in a few flows, so that the loader passes several thousand frames after the pause.
    void writeCapture() const {
        TestCapture capture = newCapture();
        for (std::uint32_t index = 0; index < 20000; ++index) {
            const std::uint32_t flow = index % 5;
            const auto frame = tools::FrameBuilder()
                                   .ipv4(address(10, 0, 0, 1), address(10, 0, 1, flow))
                                   .tcp(static_cast<std::uint16_t>(1000 + flow), 80, index / 5 * 10)
                                   .payload(10)
                                   .build();
            capture.add({kMarch2008 + index / 1000, index % 1000}, frame);
        }
        capture.close();
    }

    // The tool reading the capture from standard input: a tenth of it, a pause, then the rest.
    [[nodiscard]] FedRun runFedSlowly(ErrorTarget target, const std::string& prefix = kPrefix,
                                      Ending ending = Ending::kEndOfInput) const {
        std::ifstream file(tool.path(kCapture), std::ios::binary);
        const std::string capture((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

        int terminal = -1;
        int errorEnd = -1;
        if (target == ErrorTarget::kTerminal) {
            EXPECT_EQ(::openpty(&terminal, &errorEnd, nullptr, nullptr, nullptr), 0);
        } else {
            errorEnd =
                ::open(tool.path("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        }
        int input[2] = {-1, -1};
        EXPECT_EQ(::pipe2(input, O_CLOEXEC), 0);
        const std::string binary = WIRETALLY_BINARY;
        const std::string folder = tool.folder().string();

        const pid_t child = ::fork();
        if (child == 0) {
            const int devNull = ::open("/dev/null", O_WRONLY);
            if (::dup2(input[0], STDIN_FILENO) < 0 || ::dup2(devNull, STDOUT_FILENO) < 0 ||
                ::dup2(errorEnd, STDERR_FILENO) < 0 || ::chdir(folder.c_str()) != 0) {
                ::_exit(126);
            }
            if (terminal >= 0) {
                ::close(terminal);
            }
            // As an interactive shell starts it, whatever this test process ignores.
            ::signal(SIGINT, SIG_DFL);
            ::signal(SIGPIPE, SIG_DFL);
            ::execl(binary.c_str(), binary.c_str(), "-i", "-", "-o", prefix.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(input[0]);
        ::close(errorEnd);

        FedRun run;
        std::mutex received;
        // The terminal is read while the tool runs; reading ends when the tool, its last user, has gone.
        std::thread reader;
        if (terminal >= 0) {
            reader = std::thread([&run, &received, terminal] {
                char chunk[4096];
                for (ssize_t got = 0; (got = ::read(terminal, chunk, sizeof chunk)) > 0;) {
                    const std::lock_guard lock(received);
                    run.standardError.append(chunk, static_cast<std::size_t>(got));
                }
            });
        }
        const std::size_t firstPart = capture.size() / 10;
        writeAll(input[1], capture.substr(0, firstPart));
        std::this_thread::sleep_for(kPause);
        if (ending == Ending::kInterrupt) {
            // Most of the rest, so that the line is drawn while the tool still waits for more.
            writeAll(input[1], capture.substr(firstPart, capture.size() / 2));
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (std::chrono::steady_clock::now() < deadline) {
                {
                    const std::lock_guard lock(received);
                    if (run.standardError.find("Read ") != std::string::npos) {
                        break;
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            ::kill(child, SIGINT);
        } else {
            writeAll(input[1], capture.substr(firstPart));
        }
        ::close(input[1]);

        int status = 0;
        ::waitpid(child, &status, 0);
        run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (reader.joinable()) {
            reader.join();
            ::close(terminal);
        } else {
            std::ifstream written(tool.path("stderr.txt"), std::ios::binary);
            run.standardError.assign(std::istreambuf_iterator<char>(written),
                                     std::istreambuf_iterator<char>());
        }
        return run;
    }

    static void writeAll(int end, const std::string& bytes) {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t wrote = ::write(end, bytes.data() + done, bytes.size() - done);
            ASSERT_GT(wrote, 0);
            done += static_cast<std::size_t>(wrote);
        }
    }

    // Every result file of the run under `kPrefix`, as the same capture read at full speed writes it.
    void expectResultsOfAQuickRun() const {
        const RunResult quick = tool.run({"-i", kCapture, "-o", "quick"});
        ASSERT_EQ(quick.exitStatus, 0);
        const ResultFiles quickResults(tool.folder(), "quick");
        ASSERT_EQ(results.summary(), quickResults.summary());
        EXPECT_EQ(results.detail("NumberOfTruncatedPackets"),
                  quickResults.detail("NumberOfTruncatedPackets"));
        EXPECT_EQ(results.fileNames().size(), quickResults.fileNames().size());
    }
};

TEST_F(TerminalProgressTest, TerminalShowsBytesAndRateThenIsWiped) {
    const FedRun run = runFedSlowly(ErrorTarget::kTerminal);
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;

    // Drawings, each from the start of the line; from standard input there is no size, so no share.
    const std::regex drawings(R"((\rRead [0-9.]+ (B|KiB|MiB), [0-9.]+ (B|KiB|MiB|GiB)/s *)+)");
    const std::size_t wipe = run.standardError.rfind('\r', run.standardError.size() - 2);
    ASSERT_NE(wipe, std::string::npos) << run.standardError;
    const std::string shown = run.standardError.substr(0, wipe);
    const std::string wiped = run.standardError.substr(wipe);
    EXPECT_TRUE(std::regex_match(shown, drawings)) << shown;
    // The last drawing, at the end of the reading, shows the whole capture.
    const auto size = std::filesystem::file_size(tool.path(kCapture));
    ASSERT_GT(size, 1024U * 1024U);
    char whole[32];
    std::snprintf(whole, sizeof whole, "\rRead %.1f MiB,", static_cast<double>(size) / 1024.0 / 1024.0);
    EXPECT_NE(shown.rfind(whole), std::string::npos) << shown;
    // Blanks over the widest drawing and back to the start of the line: the terminal is left as it was.
    std::size_t widest = 0;
    for (std::size_t at = shown.find('\r'); at != std::string::npos;) {
        const std::size_t next = shown.find('\r', at + 1);
        widest = std::max(widest, (next == std::string::npos ? shown.size() : next) - at - 1);
        at = next;
    }
    EXPECT_EQ(wiped, "\r" + std::string(widest, ' ') + "\r");

    expectResultsOfAQuickRun();
}

TEST_F(TerminalProgressTest, FailedRunWipesTheLineBeforeItsMessage) {
    // The last record cut short: the reading stops there and the run fails after writing its results.
    std::filesystem::resize_file(tool.path(kCapture), std::filesystem::file_size(tool.path(kCapture)) - 5);
    const FedRun run = runFedSlowly(ErrorTarget::kTerminal);
    EXPECT_EQ(run.exitStatus, 254);

    // The pseudo-terminal turns the message's line ends into carriage return and line feed.
    const std::size_t messageEnd = run.standardError.find("\r\n");
    ASSERT_NE(messageEnd, std::string::npos) << run.standardError;
    const std::size_t wipe = run.standardError.rfind("\r ", messageEnd);
    ASSERT_NE(wipe, std::string::npos) << run.standardError;
    const std::size_t wipeEnd = run.standardError.find('\r', wipe + 1);
    ASSERT_LT(wipeEnd, messageEnd);
    EXPECT_EQ(run.standardError.find_first_not_of(' ', wipe + 1), wipeEnd);
    EXPECT_NE(run.standardError.find("Reading stopped at a damaged record", wipeEnd), std::string::npos)
        << run.standardError;
    EXPECT_EQ(run.standardError.rfind("\rRead ", 0), 0U) << run.standardError;
}

TEST_F(TerminalProgressTest, InterruptedRunWipesTheLine) {
    const FedRun run = runFedSlowly(ErrorTarget::kTerminal, kPrefix, Ending::kInterrupt);
    EXPECT_EQ(run.exitStatus, 128 + SIGINT);

    const std::string& text = run.standardError;
    ASSERT_TRUE(text.starts_with("\rRead ")) << text;
    ASSERT_TRUE(text.ends_with(" \r")) << text;
    const std::size_t wipe = text.rfind('\r', text.size() - 2);
    const std::size_t lastDrawing = text.rfind('\r', wipe - 1);
    ASSERT_NE(lastDrawing, std::string::npos) << text;
    EXPECT_EQ(text.substr(wipe), "\r" + std::string(wipe - lastDrawing - 1, ' ') + "\r");
    EXPECT_TRUE(results.fileNames().empty());
}

TEST_F(TerminalProgressTest, FileGetsNothing) {
    const FedRun run = runFedSlowly(ErrorTarget::kFile);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.standardError, "");
    expectResultsOfAQuickRun();
}

}  // namespace
}  // namespace korvo::e2e
