// Text for messages: what libraries say, on one line, and numbers as they read back.
#pragma once

#include <string>
#include <string_view>

namespace xr {

// Line breaks become spaces, and trailing spaces go: errors here take one line.
std::string one_line(std::string text);

// The shortest decimal that reads back as the same float: 0.1, 1e+09, 1.0000001.
std::string number_text(float value);

// Names from files are bytes; as text, each byte that is not part of a UTF-8
// character is U+FFFD, the replacement character.
std::string utf8_text(std::string_view bytes);

// Bytes for a terminal, as UTF-8 text (see utf8_text) whose control
// characters, which could move the cursor or recolour it, are shown as
// escapes ("\x1b", "\u009b").
std::string printable(std::string_view bytes);

// An image's size as people write it: "640x400".
std::string size_text(int width, int height);

// A count of things, the noun singular for one: "1 thread", "4 threads".
std::string count_text(size_t count, const std::string& noun);

// ASCII letters in lower case; other bytes as they are.
std::string lowercase(std::string text);

// What follows the last dot of a path's file name, in lower case: "glb" for
// "parts/Big.GLB"; empty when the name has no dot.
std::string lowercase_extension(const std::string& path);

} // namespace xr
