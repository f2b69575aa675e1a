#include "render/util/text.h"

#include <charconv>

namespace xr {

std::string one_line(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string number_text(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string size_text(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

} // namespace xr
