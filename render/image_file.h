// Images read from files, whatever their format, for comparison.
#pragma once

#include "render/film.h"

#include <string>

namespace xr {

enum class ImageFormat { png, exr };

struct ImageFile {
    ImageFormat format;
    Film film;
};

// Knows the format by the file's first bytes, not by its name. Throws
// std::runtime_error, one line naming the file and saying why.
ImageFile read_image(const std::string& path);

} // namespace xr
