// Images as files: read whatever their format, written in the one their name asks for.
#pragma once

#include "render/image/exr_image.h"
#include "render/image/film.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace xr {

enum class ImageFormat { png, exr };

struct ImageFile {
    ImageFormat format;
    Film film;
};

// What of an image to read: its colour and alpha, or every channel it holds.
enum class ImageChannels { beauty, all };

// Knows the format by the file's first bytes, not by its name; reads a PNG's
// text and an OpenEXR's string attributes into the film's attributes. Throws
// std::runtime_error, one line naming the file and saying why, also for a file
// that is not a regular file or whose pixels would not fit in memory.
ImageFile read_image(const std::string& path, ImageChannels channels = ImageChannels::all,
                     ImageExtent extent = ImageExtent::frame);

// The layout of a regular file that is a whole PNG or OpenEXR image, known by
// its first bytes; nothing otherwise. A PNG is whole through its end chunk,
// holds R, G, B and A when it is 8-bit RGBA as this program writes it, and
// is taken for a whole frame of its header's size; an OpenEXR is whole as
// whole_exr_layout says. Reads no pixels.
std::optional<ImageLayout> whole_image_layout(const std::string& path);

// OpenEXR for a name ending in .exr, in any case; PNG for any other.
ImageFormat format_for(const std::string& path);

// Throws std::runtime_error, before any of it is allocated, when a film of
// width x height pixels with `channels` channels beside its beauty, and its
// copy encoded in `format`, cannot fit in the memory available, or when the
// image is too large for the format.
void check_image_fits(ImageFormat format, int width, int height, size_t channels);

// The bytes of the file, to be written whole through an OutputFile: an 8-bit
// sRGB PNG of the beauty with straight alpha and the attributes as text, or
// an OpenEXR of the whole film.
std::vector<uint8_t> encode_image(const Film& film, ImageFormat format);

} // namespace xr
