#include "figure/TimeText.h"
#include "net/WireNumbers.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvo::measurement {

namespace {

constexpr std::int64_t kMicrosPerSecond = 1'000'000;
constexpr std::int64_t kMicrosPerDay = 86'400 * kMicrosPerSecond;
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr std::string_view kDigitPairs =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Gathers one text in a small buffer, so that it reaches its string in a single append.
class TextBuffer {
public:
    void put(char character) { characters_[size_++] = character; }
    void put(const char* text) {
        while (*text != '\0') {
            put(*text++);
        }
    }
    // `value` in decimal, with leading zeros up to `width` digits.
    void number(std::uint64_t value, std::size_t width) {
        std::array<char, 20> digits{};
        std::size_t count = digits.size();
        // Two digits at a time from a table: times by the million are written.
        while (value >= 100) {
            const std::size_t pair = 2 * (value % 100);
            value /= 100;
            digits[--count] = kDigitPairs[pair + 1];
            digits[--count] = kDigitPairs[pair];
        }
        if (value >= 10) {
            digits[--count] = kDigitPairs[2 * value + 1];
            digits[--count] = kDigitPairs[2 * value];
        } else {
            digits[--count] = static_cast<char>('0' + value);
        }
        for (std::size_t pad = digits.size() - count; pad < width; ++pad) {
            put('0');
        }
        std::copy(digits.begin() + static_cast<std::ptrdiff_t>(count), digits.end(),
                  characters_.data() + size_);
        size_ += digits.size() - count;
    }
    void appendTo(std::string& out) const { out.append(characters_.data(), size_); }
    char* copyTo(char* out) const { return std::copy_n(characters_.data(), size_, out); }

private:
    // The longest text: a sign, 20-digit hours, minutes, seconds and a fraction.
    std::array<char, 40> characters_{};
    std::size_t size_ = 0;
};

// Hours, minutes, seconds and the optional fraction of a non-negative count of microseconds.
void putClock(TextBuffer& text, std::uint64_t micros) {
    const std::uint64_t seconds = micros / kMicrosPerSecond;
    text.number(seconds / 3600, 2);
    text.put(':');
    text.number(seconds / 60 % 60, 2);
    text.put(':');
    text.number(seconds % 60, 2);
    const std::uint64_t fraction = micros % kMicrosPerSecond;
    if (fraction != 0) {
        text.put('.');
        text.number(fraction, 6);
    }
}

struct CivilDate {
    std::int64_t year;
    unsigned month;  // 1 to 12
    unsigned day;    // 1 to 31
};

// The proleptic Gregorian date of a day count from 1970-01-01 (the days-to-civil algorithm of
// H. Hinnant, exact over the whole range of the date-time library).
CivilDate civilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<std::uint64_t>(days - era * 146097);
    const std::uint64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::uint64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::uint64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const auto day = static_cast<unsigned>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    const auto month = static_cast<unsigned>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

using net::kEpoch;

// The day since 1970 of `time` and the microsecond within that day.
struct DayAndMicro {
    std::int64_t day;
    std::uint64_t microOfDay;
};

DayAndMicro splitTime(boost::posix_time::ptime time) {
    const std::int64_t micros = (time - kEpoch).total_microseconds();
    std::int64_t days = micros / kMicrosPerDay;
    std::int64_t microOfDay = micros % kMicrosPerDay;
    // Times before 1970 divide towards zero: take the day before and count forward from its midnight.
    if (microOfDay < 0) {
        microOfDay += kMicrosPerDay;
        --days;
    }
    return {days, static_cast<std::uint64_t>(microOfDay)};
}

TextBuffer isoTimeText(boost::posix_time::ptime time) {
    const auto [days, microOfDay] = splitTime(time);
    const CivilDate date = civilFromDays(days);
    const std::uint64_t seconds = microOfDay / kMicrosPerSecond;
    TextBuffer text;
    text.number(static_cast<std::uint64_t>(date.year), 4);
    text.put('-');
    text.number(date.month, 2);
    text.put('-');
    text.number(date.day, 2);
    text.put('T');
    text.number(seconds / 3600, 2);
    text.put(':');
    text.number(seconds / 60 % 60, 2);
    text.put(':');
    text.number(seconds % 60, 2);
    text.put('.');
    text.number(microOfDay % kMicrosPerSecond, 6);
    text.put('Z');
    return text;
}

TextBuffer secondsText(boost::posix_time::time_duration span) {
    const auto micros = static_cast<std::uint64_t>(span.total_microseconds());
    TextBuffer text;
    text.number(micros / kMicrosPerSecond, 1);
    text.put('.');
    text.number(micros % kMicrosPerSecond, 6);
    return text;
}

}  // namespace

void TimeText::appendCaptureTime(std::string& out, boost::posix_time::ptime time) {
    const auto [days, microOfDay] = splitTime(time);
    const CivilDate date = civilFromDays(days);
    TextBuffer text;
    text.number(static_cast<std::uint64_t>(date.year), 4);
    text.put('-');
    text.put(kMonthNames[date.month - 1]);
    text.put('-');
    text.number(date.day, 2);
    text.put(' ');
    putClock(text, microOfDay);
    text.appendTo(out);
}

char* TimeText::writeIsoTime(char* out, boost::posix_time::ptime time) {
    return isoTimeText(time).copyTo(out);
}

char* TimeText::writeSeconds(char* out, boost::posix_time::time_duration span) {
    return secondsText(span).copyTo(out);
}

char* TimeText::writeMillis(char* out, std::int64_t micros) {
    const auto magnitude = static_cast<std::uint64_t>(micros);
    TextBuffer text;
    text.number(magnitude / 1000, 1);
    text.put('.');
    text.number(magnitude % 1000, 3);
    return text.copyTo(out);
}

std::string TimeText::captureTime(boost::posix_time::ptime time) {
    std::string text;
    appendCaptureTime(text, time);
    return text;
}

std::string TimeText::duration(boost::posix_time::time_duration span) {
    const std::int64_t micros = span.total_microseconds();
    TextBuffer text;
    if (micros < 0) {
        text.put('-');
        putClock(text, static_cast<std::uint64_t>(-micros));
    } else {
        putClock(text, static_cast<std::uint64_t>(micros));
    }
    std::string result;
    text.appendTo(result);
    return result;
}

std::int64_t TimeText::microsSince1970(boost::posix_time::ptime time) {
    return (time - kEpoch).total_microseconds();
}

}  // namespace korvo::measurement
