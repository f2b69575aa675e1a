// OpenEXR files of a film: the beauty as half-float RGBA, premultiplied as
// compositors expect, and each film channel under its own name, losslessly
// compressed; the film's attributes as string attributes of the header.
#pragma once

#include "render/image/film.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace xr {

// What of an image's pixels to read: its whole frame, or only those its file
// holds, which for a tile are a window of its frame (film.window).
enum class ImageExtent { frame, data };

// The bytes of the file, to be written whole through an OutputFile. A film
// that holds a window of its frame keeps the frame as the display window and
// the window as the data window. Half channels hold values beyond the
// largest half, infinities too, as that half, of their sign.
std::vector<uint8_t> encode_exr(const Film& film);

// A scan-line or tiled, single-part file: R, G, B (required) and A (1 when
// missing) into the beauty, every other channel into a film channel unless
// only the beauty is asked for, and the string attributes into the film's.
// Read as a frame, pixels of the display window that lie outside the data
// window are zero. Throws an exception saying why, about the file of that
// name, also before decoding when the pixels would not fit in memory, when
// the file holds several parts, or when it is a scan-line file cut short.
Film decode_exr(const std::vector<uint8_t>& exr, const std::string& name, bool beauty_only = false,
                ImageExtent extent = ImageExtent::frame);

// What an image file holds: where its pixels lie in its frame, the names of
// its channels as file_channel_names sorts them, and its string attributes as
// a film read from it would have them.
struct ImageLayout {
    FrameWindow window;
    std::vector<std::string> channels;
    std::map<std::string, std::string> attributes;
};

// The layout of the file at `path`, `size` bytes long, from its header: the
// display window is the frame, the data window what it holds. Nothing unless
// it is a single-part scan-line OpenEXR file whose every chunk of pixels its
// offset table lists and lies within its size: a file cut short, or whose
// table was never filled in, is not whole. Reads no pixels.
std::optional<ImageLayout> whole_exr_layout(const std::string& path, uint64_t size);

} // namespace xr
