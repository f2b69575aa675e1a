// Images as 8-bit sRGB PNG files, through stb.
#pragma once

#include "render/image/image.h"

#include <cstdint>
#include <vector>

namespace xr {

// Throws std::runtime_error for an image larger than the encoder can write:
// it counts in int, and its rows, filtered and then compressed, must stay
// within that. Checked before a render, and again by encode_png.
void check_png_size(int width, int height);

// The image, premultiplied, as a PNG with straight alpha: colour that a pixel
// holds beyond its coverage (a highlight on a transparent surface) is lost, and
// so is any colour at alpha 0. Throws std::runtime_error when it cannot be encoded.
std::vector<uint8_t> encode_png(const Image& image);
// Throws std::runtime_error for a PNG file of more bytes than the decoder
// reads, before it is read.
void check_png_file_size(uint64_t bytes);

// 8- or 16-bit PNG of any colour type, as linear colour premultiplied by its
// (straight, in the file) alpha. Throws std::runtime_error saying why, also
// for a file cut short, a chunk whose CRC does not match, a CgBI file (not
// standard: its colours are stored as BGR), and before decoding for an image
// too large or empty.
Image decode_png(const std::vector<uint8_t>& png);

} // namespace xr
