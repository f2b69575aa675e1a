// A rendered frame with its passes: the beauty as linear RGBA premultiplied by
// alpha, and any number of named channels of floats (depth, normals, ids…).
#pragma once

#include "render/image/image.h"
#include "render/image/pixel_region.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace xr {

// How a channel is stored in a file; in memory every channel is float.
enum class ChannelPrecision { half, single };

struct FilmChannel {
    std::string name; // as compositors expect it: "Z", "N.x", "albedo.R"
    ChannelPrecision precision;
    std::vector<float> values; // row by row, top row first, like the beauty's pixels
};

struct Film {
    Film(int width, int height) : beauty(width, height) {}
    explicit Film(Image beauty_) : beauty(std::move(beauty_)) {}

    int width() const { return beauty.width; }
    int height() const { return beauty.height; }

    // A channel of zeros. Throws std::invalid_argument for an empty name, one
    // of the beauty's R, G, B, A, or a name already present. The reference
    // stays valid until the next channel is added.
    FilmChannel& add_channel(const std::string& name, ChannelPrecision precision);
    // Null when the film has no channel of that name.
    const FilmChannel* find(const std::string& name) const;

    Image beauty;
    std::vector<FilmChannel> channels;
    // Text a file's header carries beside the pixels, by name.
    std::map<std::string, std::string> attributes;
    // Set when the film holds only a window of its frame: a tile.
    std::optional<FrameWindow> window;
};

// The names of the channels an image file holds for a film with these
// channels: the beauty's R, G, B and A, and theirs, sorted by their bytes as
// image files list them.
std::vector<std::string> file_channel_names(const std::vector<FilmChannel>& channels);

} // namespace xr
