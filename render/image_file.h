// Images as files: read whatever their format, written in the one their name asks for.
#pragma once

#include "render/film.h"

#include <cstdint>
#include <string>
#include <vector>

namespace xr {

enum class ImageFormat { png, exr };

struct ImageFile {
    ImageFormat format;
    Film film;
};

// Knows the format by the file's first bytes, not by its name. Throws
// std::runtime_error, one line naming the file and saying why.
ImageFile read_image(const std::string& path);

// OpenEXR for a name ending in .exr, in any case; PNG for any other.
ImageFormat format_for(const std::string& path);

// The bytes of the file, to be written whole through an OutputFile: an 8-bit
// sRGB PNG of the beauty with straight alpha, or an OpenEXR of the whole film.
std::vector<uint8_t> encode_image(const Film& film, ImageFormat format);

} // namespace xr
