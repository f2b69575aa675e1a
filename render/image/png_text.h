// Text in PNG files: a keyword and its text, as international text chunks
// (iTXt, UTF-8, uncompressed), which image viewers and metadata tools list.
// A PNG's share of the film's attributes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace xr {

// The PNG with a chunk for each entry after its header chunk. Throws
// std::invalid_argument for a keyword a PNG cannot hold: 1 to 79 printable
// ASCII characters, no leading, trailing or double space.
std::vector<uint8_t> add_png_text(std::vector<uint8_t> png,
                                  const std::map<std::string, std::string>& text);

// The uncompressed text chunks of a PNG (iTXt and tEXt), by keyword; chunks it
// cannot read are left out. Throws std::runtime_error for a chunk that runs
// past the end of the file.
std::map<std::string, std::string> png_text(const std::vector<uint8_t>& png);

} // namespace xr
