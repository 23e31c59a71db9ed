#include "output/EscapedText.h"

#include <array>
#include <cstdint>

namespace korvo::measurement {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::string_view kReplacementText = "\xEF\xBF\xBD";

}  // namespace

template <typename OnCharacter>
void EscapedText::decode(std::string_view text, OnCharacter onCharacter) {
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[at]);
        std::size_t length = 0;
        char32_t code = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            length = 1;
            code = lead;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            length = 2;
            code = lead & 0x1FU;
            least = 0x80;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3;
            code = lead & 0x0FU;
            least = 0x800;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            length = 4;
            code = lead & 0x07U;
            least = 0x10000;
        }
        bool valid = length != 0 && at + length <= text.size();
        for (std::size_t next = 1; valid && next < length; ++next) {
            const auto byte = static_cast<std::uint8_t>(text[at + next]);
            valid = (byte & 0xC0U) == 0x80U;
            code = (code << 6) | (byte & 0x3FU);
        }
        // Overlong forms, surrogates and code points beyond U+10FFFF are not UTF-8 either.
        valid = valid && code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!valid) {
            onCharacter(kReplacement, kReplacementText);
            ++at;
            continue;
        }
        onCharacter(code, text.substr(at, length));
        at += length;
    }
}

void EscapedText::appendHtml(std::string& out, std::string_view text) {
    decode(text, [&out](char32_t code, std::string_view bytes) {
        switch (code) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                if ((code < 0x20 && code != '\t' && code != '\n') || code == 0x7F) {
                    out += kReplacementText;
                } else {
                    out += bytes;
                }
        }
    });
}

std::string EscapedText::html(std::string_view text) {
    std::string out;
    appendHtml(out, text);
    return out;
}

void EscapedText::appendJson(std::string& out, std::string_view text) {
    out += '"';
    decode(text, [&out](char32_t code, std::string_view bytes) {
        if (code == '"' || code == '\\') {
            out += '\\';
            out += static_cast<char>(code);
        } else if (code < 0x20) {
            constexpr std::array<char, 16> kHex = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                   '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
            out += "\\u00";
            out += kHex[code >> 4];
            out += kHex[code & 0xFU];
        } else {
            out += bytes;
        }
    });
    out += '"';
}

}  // namespace korvo::measurement
