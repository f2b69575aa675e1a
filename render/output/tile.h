// Tiles: windows of one frame rendered by separate processes, each sampled as
// in the whole frame, so that the tiles merged are the frame rendered at once.
// A tile's file says which frame it belongs to, in the attribute
// `tile_attribute`: a PNG's text, an OpenEXR's header (whose display and data
// windows place it as well).
#pragma once

#include "render/image/film.h"
#include "render/image/pixel_region.h"

#include <string>

namespace xr {

// "X0,Y0,X1,Y1": whole numbers, X0 < X1 and Y0 < Y1, the right and bottom
// ends excluded. Throws std::runtime_error saying what is wrong.
PixelRegion parse_region(const std::string& text);

// Band `index` of `count`, numbered from 1, top to bottom.
struct TileBand {
    int index = 1, count = 1;
};

// "I/N": whole numbers, 1 <= I <= N. Throws std::runtime_error.
TileBand parse_tile_band(const std::string& text);

// The rows of the band: the frame's rows split as evenly as whole rows allow.
// Throws std::runtime_error when there are more bands than rows.
PixelRegion band_region(const TileBand& band, int width, int height);

// Throws std::runtime_error unless the region lies within the frame.
void check_region(const PixelRegion& region, int width, int height);

// What a tile's file says of it.
struct TileInfo {
    FrameWindow window;
    std::string render; // a digest of what else decides the frame's pixels
};

extern const char* const tile_attribute;

// A digest of the text, for telling renders apart: a tile's `render`.
std::string render_digest(const std::string& text);

// A digest of a file's contents, for the same; "none" for one that cannot be
// read, which its reader refuses later, saying why.
std::string contents_digest(const std::string& path);

// The attribute's text for the tile, and the tile its text describes; throws
// std::runtime_error when it describes none.
std::string tile_text(const TileInfo& tile);
TileInfo parse_tile_text(const std::string& text);

} // namespace xr
