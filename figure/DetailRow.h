#pragma once
// Appends one comma-separated detail row to a detail text, piece by piece, without a stream:
//   DetailRow(details).text("Packet Number,").number(7).text(",Capture Time,").time(t).end();

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "figure/DetailText.h"
#include "figure/TimeText.h"

namespace korvo::measurement {

class DetailRow {
public:
    explicit DetailRow(DetailText& out) : text_(out), out_(out.buffer_) {}

    DetailRow& text(std::string_view piece) {
        out_.append(piece);
        return *this;
    }
    template <typename Integer>
    DetailRow& number(Integer value) {
        char digits[24];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        out_.append(digits, result.ptr);
        return *this;
    }
    // "Packet Number,<number>,Capture Time,<time>": how the rows that name one packet begin.
    DetailRow& packet(std::uint64_t packetNumber, boost::posix_time::ptime captureTime) {
        return text("Packet Number,").number(packetNumber).text(",Capture Time,").time(captureTime);
    }
    // A value that writes its own text, such as a flow tuple: anything with appendText(std::string&).
    template <typename Textual>
    DetailRow& tuple(const Textual& value) {
        value.appendText(out_);
        return *this;
    }
    DetailRow& time(boost::posix_time::ptime captureTime) {
        TimeText::appendCaptureTime(out_, captureTime);
        return *this;
    }
    void end() {
        out_.push_back('\n');
        text_.rowEnded();
    }
    // Ends the row with another line end, such as the "\r\n" of RFC 4180.
    void end(std::string_view lineEnd) {
        out_.append(lineEnd);
        text_.rowEnded();
    }

private:
    DetailText& text_;
    std::string& out_;
};

}  // namespace korvo::measurement
