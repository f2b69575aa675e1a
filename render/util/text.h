// Text for messages: what libraries say, on one line, and numbers as they read back.
#pragma once

#include <string>

namespace xr {

// Line breaks become spaces, and trailing spaces go: errors here take one line.
std::string one_line(std::string text);

// The shortest decimal that reads back as the same float: 0.1, 1e+09, 1.0000001.
std::string number_text(float value);

// An image's size as people write it: "640x400".
std::string size_text(int width, int height);

} // namespace xr
