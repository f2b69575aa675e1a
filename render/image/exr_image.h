// OpenEXR files of a film: the beauty as half-float RGBA, premultiplied as
// compositors expect, and each film channel under its own name, losslessly
// compressed; the film's attributes as string attributes of the header.
#pragma once

#include "render/image/film.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace xr {

// The bytes of the file, to be written whole through an OutputFile.
std::vector<uint8_t> encode_exr(const Film& film);

// A scan-line or tiled, single-part file: R, G, B (required) and A (1 when
// missing) into the beauty, every other channel into a film channel unless
// only the beauty is asked for. Pixels of the display window that lie outside
// the data window are zero. Throws an exception saying why, about the file of
// that name, also before decoding when the pixels would not fit in memory.
Film decode_exr(const std::vector<uint8_t>& exr, const std::string& name, bool beauty_only = false);

// The size of the image in the file at `path`, from its header alone. Throws
// an exception when it is no OpenEXR file.
std::pair<int, int> exr_size(const std::string& path);

} // namespace xr
