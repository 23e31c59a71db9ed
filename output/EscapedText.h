#pragma once
// Text from outside the program (file names, filters, reasons from libraries) made safe to stand inside a
// page or a JSON string: markup characters become entities or escapes, so that nothing in a capture or a
// file name is ever read as markup or script, and bytes that are not UTF-8 become U+FFFD.

#include <string>
#include <string_view>

namespace korvo::measurement {

class EscapedText {
public:
    // Appends `text` as HTML text or attribute value: &, <, >, " and ' as entities, control characters
    // other than tab and newline as U+FFFD.
    static void appendHtml(std::string& out, std::string_view text);
    [[nodiscard]] static std::string html(std::string_view text);
    // Appends `text` as a JSON string, quotes included.
    static void appendJson(std::string& out, std::string_view text);

private:
    // Calls `onCharacter(code point, its bytes)` for each character of `text`, an invalid byte giving
    // U+FFFD and its one byte.
    template <typename OnCharacter>
    static void decode(std::string_view text, OnCharacter onCharacter);
};

}  // namespace korvo::measurement
