#include "app/ProgressLine.h"

#include "app/InterruptWatcher.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>

namespace korvo::measurement {

namespace {

// A byte count in binary units with one decimal, e.g. "512 B", "1.5 KiB", "12.0 GiB".
std::string byteText(double bytes) {
    static constexpr std::array<const char*, 5> kUnits = {"KiB", "MiB", "GiB", "TiB", "PiB"};
    if (bytes < 1024.0) {
        return std::to_string(static_cast<std::uint64_t>(bytes)) + " B";
    }
    std::size_t unit = 0;
    bytes /= 1024.0;
    // Past 1023.95 the one-decimal text would round up to "1024.0", so the next unit is taken already.
    while (bytes >= 1023.95 && unit + 1 < kUnits.size()) {
        bytes /= 1024.0;
        ++unit;
    }
    std::array<char, 32> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%.1f %s", bytes, kUnits[unit]);
    return buffer.data();
}

// A span of whole seconds as M:SS, or H:MM:SS from an hour on.
std::string durationText(std::uint64_t seconds) {
    std::array<char, 32> buffer{};
    if (seconds >= 3600) {
        std::snprintf(buffer.data(), buffer.size(), "%llu:%02llu:%02llu",
                      static_cast<unsigned long long>(seconds / 3600),
                      static_cast<unsigned long long>(seconds / 60 % 60),
                      static_cast<unsigned long long>(seconds % 60));
    } else {
        std::snprintf(buffer.data(), buffer.size(), "%llu:%02llu",
                      static_cast<unsigned long long>(seconds / 60),
                      static_cast<unsigned long long>(seconds % 60));
    }
    return buffer.data();
}

}  // namespace

ProgressLine::ProgressLine(std::ostream* terminal, std::optional<std::uint64_t> totalBytes, Now now)
    : ProgressLine(terminal, totalBytes, std::move(now), false) {}

ProgressLine::ProgressLine(std::ostream* terminal, std::optional<std::uint64_t> totalBytes, Now now,
                           bool wipesOnStop)
    : terminal_(terminal),
      totalBytes_(totalBytes),
      now_(std::move(now)),
      start_(now_()),
      wipesOnStop_(wipesOnStop) {}

ProgressLine::~ProgressLine() {
    clear();
}

ProgressLine ProgressLine::onStandardError(std::optional<std::uint64_t> totalBytes) {
    return ProgressLine(::isatty(STDERR_FILENO) == 1 ? &std::cerr : nullptr, totalBytes, Clock::now, true);
}

void ProgressLine::update(std::uint64_t bytesRead) {
    if (terminal_ == nullptr) {
        return;
    }
    const Clock::time_point at = now_();
    if (shown_ ? at - lastDrawing_ < kRedrawInterval : at - start_ < kFirstDrawing) {
        return;
    }
    draw(bytesRead, at);
}

void ProgressLine::finishReading(std::uint64_t bytesRead) {
    if (shown_) {
        draw(bytesRead, now_());
    }
}

void ProgressLine::clear() {
    if (!shown_) {
        return;
    }
    *terminal_ << ('\r' + std::string(shownWidth_, ' ') + '\r') << std::flush;
    if (wipesOnStop_) {
        InterruptWatcher::standingLine(0);
    }
    shown_ = false;
    shownWidth_ = 0;
}

void ProgressLine::draw(std::uint64_t bytesRead, Clock::time_point at) {
    std::string line = '\r' + text(bytesRead, totalBytes_, at - start_);
    const std::size_t width = line.size() - 1;
    if (width < shownWidth_) {
        line.append(shownWidth_ - width, ' ');
    } else {
        shownWidth_ = width;
    }
    // A stop by a signal blanks the standing line from another thread: the drawing and its width are held
    // together against it, so that no drawing lands after the blank.
    std::optional<InterruptWatcher::StopHold> hold;
    if (wipesOnStop_) {
        hold.emplace();
        InterruptWatcher::standingLine(shownWidth_);
    }
    // One write per drawing, so that the terminal never shows half a line.
    *terminal_ << line << std::flush;
    shown_ = true;
    lastDrawing_ = at;
}

std::string ProgressLine::text(std::uint64_t bytesRead, std::optional<std::uint64_t> totalBytes,
                               Clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const double rate = seconds > 0.0 ? static_cast<double>(bytesRead) / seconds : 0.0;
    std::string line = "Read " + byteText(static_cast<double>(bytesRead));
    if (totalBytes && *totalBytes > 0) {
        // A file that grows while it is read can be read past the size taken at the start.
        const std::uint64_t total = std::max(*totalBytes, bytesRead);
        std::array<char, 16> percent{};
        // Rounded down, so that 100% means the whole file.
        const double tenths =
            std::floor(static_cast<double>(bytesRead) * 1000.0 / static_cast<double>(total));
        std::snprintf(percent.data(), percent.size(), "%.1f", tenths / 10.0);
        line += " of " + byteText(static_cast<double>(total)) + " (" + percent.data() + "%)";
        line += ", " + byteText(rate) + "/s";
        if (rate > 0.0) {
            const double left = static_cast<double>(total - bytesRead) / rate;
            line += ", " + durationText(static_cast<std::uint64_t>(left + 0.5)) + " left";
        }
        return line;
    }
    return line + ", " + byteText(rate) + "/s";
}

}  // namespace korvo::measurement
