#pragma once
// The one line on a terminal that shows how far the reading of a capture has come: bytes read (and the share
// of the file when its size is known), the rate and the time left. It appears only once a run has taken
// about a second, is redrawn a few times a second, and is wiped when the object goes, or, for the line on
// standard error, when the run is stopped by SIGINT or SIGTERM.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace korvo::measurement {

class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    // How long a run goes before the line appears, and the least time between two drawings.
    static constexpr std::chrono::milliseconds kFirstDrawing{1000};
    static constexpr std::chrono::milliseconds kRedrawInterval{250};

    // Draws on `terminal`, or nowhere when it is null. `totalBytes` is the size of the input when it is a
    // regular file; without it the line shows bytes and rate alone.
    ProgressLine(std::ostream* terminal, std::optional<std::uint64_t> totalBytes, Now now = Clock::now);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // A line on standard error when standard error is a terminal, otherwise one that draws nothing.
    static ProgressLine onStandardError(std::optional<std::uint64_t> totalBytes);

    // Redraws the line when it is due.
    void update(std::uint64_t bytesRead);
    // Redraws the final figures of the reading, if the line is already shown, so that it does not stand at
    // an earlier figure while the flows are judged.
    void finishReading(std::uint64_t bytesRead);
    // Wipes the line, if it was drawn, leaving the cursor at the start of the empty line.
    void clear();

    // The text of the line, without the carriage return or padding.
    static std::string text(std::uint64_t bytesRead, std::optional<std::uint64_t> totalBytes,
                            Clock::duration elapsed);

private:
    ProgressLine(std::ostream* terminal, std::optional<std::uint64_t> totalBytes, Now now, bool wipesOnStop);

    void draw(std::uint64_t bytesRead, Clock::time_point at);

    std::ostream* terminal_;
    std::optional<std::uint64_t> totalBytes_;
    Now now_;
    Clock::time_point start_;
    Clock::time_point lastDrawing_{};
    // The width of the text on screen: a shorter text is padded over it, and clearing blanks it.
    std::size_t shownWidth_ = 0;
    bool shown_ = false;
    // Only the line on standard error is wiped when a run is stopped, by the interrupt watcher, which writes
    // to that stream alone.
    bool wipesOnStop_;
};

}  // namespace korvo::measurement
