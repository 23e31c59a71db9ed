#pragma once
// The two time texts of the reports. A capture time reads "2008-Mar-05 14:07:09.000120" and a duration
// "03:02:01.000042"; the fraction of a second is written only when it is not zero. These are the texts that
// the date-time library's default stream output writes, produced here without a stream or a locale because
// detail files may hold millions of them.

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <string>

namespace korvo::measurement {

class TimeText {
public:
    // Appends the capture-time text of `time`, which must be a real time (not a special value).
    static void appendCaptureTime(std::string& out, boost::posix_time::ptime time);
    [[nodiscard]] static std::string captureTime(boost::posix_time::ptime time);
    // The duration text: whole hours (two digits at least, more for spans of 100 hours or longer), minutes,
    // seconds and the optional six-digit fraction; a leading "-" for a negative duration.
    [[nodiscard]] static std::string duration(boost::posix_time::time_duration span);
    // Writes `time` in ISO 8601, UTC, always with microseconds: "2024-01-01T00:00:00.000188Z", at `out`,
    // which has room for kMostTextLength characters; returns its end. `time` must be a real time between
    // the years 0 and 9999.
    static char* writeIsoTime(char* out, boost::posix_time::ptime time);
    // Writes a non-negative span as seconds with six decimals, "3.000042", likewise.
    static char* writeSeconds(char* out, boost::posix_time::time_duration span);
    // Writes a non-negative number of microseconds as milliseconds with three decimals, "2.578", likewise.
    static char* writeMillis(char* out, std::int64_t micros);

    // A real time as microseconds since 1970, the number the figures keep times as.
    [[nodiscard]] static std::int64_t microsSince1970(boost::posix_time::ptime time);

    // The longest text any of these writes.
    static constexpr std::size_t kMostTextLength = 40;
};

}  // namespace korvo::measurement
