#include "render/util/text.h"

#include <charconv>
#include <cstdint>
#include <cstdio>

namespace xr {

std::string one_line(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string lowercase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

std::string lowercase_extension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return "";
    return lowercase(path.substr(dot + 1));
}

std::string number_text(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

namespace {

// The length of the UTF-8 character at the start of `s`, or 0 when no
// character starts there: a stray continuation byte, an overlong form, a
// surrogate, a code point beyond U+10FFFF or a character cut short.
size_t character_length(std::string_view s) {
    const auto byte = [&](size_t i) { return i < s.size() ? uint8_t(s[i]) : 0; };
    const uint8_t b = byte(0);
    if (b < 0x80)
        return 1;
    // The second byte's range depends on the first; the rest are 80-BF.
    uint8_t lo = 0x80, hi = 0xBF;
    size_t n = 0;
    if (b >= 0xC2 && b <= 0xDF)
        n = 2;
    else if (b >= 0xE0 && b <= 0xEF)
        n = 3, lo = b == 0xE0 ? 0xA0 : 0x80, hi = b == 0xED ? 0x9F : 0xBF;
    else if (b >= 0xF0 && b <= 0xF4)
        n = 4, lo = b == 0xF0 ? 0x90 : 0x80, hi = b == 0xF4 ? 0x8F : 0xBF;
    else
        return 0;
    if (byte(1) < lo || byte(1) > hi)
        return 0;
    for (size_t i = 2; i < n; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return n;
}

} // namespace

std::string utf8_text(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        const size_t n = character_length(bytes);
        if (n == 0)
            text += "\xEF\xBF\xBD";
        else
            text.append(bytes.substr(0, n));
        bytes.remove_prefix(n ? n : 1);
    }
    return text;
}

std::string printable(std::string_view bytes) {
    const std::string text = utf8_text(bytes);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = uint8_t(text[i]);
        const auto next = i + 1 < text.size() ? uint8_t(text[i + 1]) : 0;
        char escape[8];
        if (b < 0x20 || b == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", b);
        } else if (b == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(escape, sizeof escape, "\\u%04x", next);
            ++i;
        } else {
            out += text[i];
            continue;
        }
        out += escape;
    }
    return out;
}

std::string size_text(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

std::string count_text(size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

} // namespace xr
