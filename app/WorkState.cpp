#include "app/WorkState.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace korvo::measurement {

WorkState WorkState::read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
    }
    WorkState state;
    state.path_ = path;
    for (std::string line; std::getline(file, line);) {
        state.lines_.push_back(line);
    }
    return state;
}

void WorkState::add(std::string_view key, const std::vector<std::string>& values) {
    std::string line(key);
    for (const std::string& value : values) {
        line += ' ';
        line += value.empty() ? "%" : value;
    }
    lines_.push_back(line);
}

void WorkState::write(const std::string& path) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines_) {
        file << line << '\n';
    }
    file.flush();
    if (!file) {
        throw std::runtime_error("Cannot write " + path + ": " + std::strerror(errno));
    }
}

bool WorkState::next(std::string_view key) const {
    if (next_ >= lines_.size()) {
        return false;
    }
    const std::string& line = lines_[next_];
    return line.compare(0, key.size(), key) == 0 && (line.size() == key.size() || line[key.size()] == ' ');
}

std::vector<std::string> WorkState::take(std::string_view key) {
    if (!next(key)) {
        damaged("\"" + std::string(key) + "\" expected at line " + std::to_string(next_ + 1));
    }
    std::vector<std::string> values;
    std::istringstream fields(lines_[next_++].substr(key.size()));
    for (std::string value; fields >> value;) {
        values.push_back(value == "%" ? std::string() : value);
    }
    return values;
}

std::uint64_t WorkState::digest(std::uint64_t digest) const {
    for (const std::string& line : lines_) {
        for (const char character : line + '\n') {
            digest = (digest ^ static_cast<unsigned char>(character)) * 1099511628211ULL;
        }
    }
    return digest;
}

void WorkState::skip() {
    if (next_ >= lines_.size()) {
        damaged("it ends too early");
    }
    ++next_;
}

std::string WorkState::encode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string value;
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (byte <= 0x20 || byte >= 0x7F || byte == '%') {
            value += '%';
            value += kHex[byte >> 4];
            value += kHex[byte & 0x0F];
        } else {
            value += character;
        }
    }
    return value;
}

std::string WorkState::decode(const std::string& value) const {
    std::string text;
    for (std::size_t at = 0; at < value.size(); ++at) {
        if (value[at] != '%') {
            text += value[at];
            continue;
        }
        unsigned byte = 0;
        if (at + 2 >= value.size() ||
            std::from_chars(value.data() + at + 1, value.data() + at + 3, byte, 16).ptr !=
                value.data() + at + 3) {
            damaged("a text value is cut short");
        }
        text += static_cast<char>(byte);
        at += 2;
    }
    return text;
}

std::uint64_t WorkState::number(const std::string& value) const {
    std::uint64_t result = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), result);
    if (error != std::errc() || end != value.data() + value.size()) {
        damaged("\"" + value + "\" is not a count");
    }
    return result;
}

std::int64_t WorkState::signedNumber(const std::string& value) const {
    std::int64_t result = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), result);
    if (error != std::errc() || end != value.data() + value.size()) {
        damaged("\"" + value + "\" is not a number");
    }
    return result;
}

void WorkState::damaged(const std::string& why) const {
    throw std::runtime_error(path_ + " is damaged: " + why);
}

}  // namespace korvo::measurement
