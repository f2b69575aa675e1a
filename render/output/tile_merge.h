// Tiles joined into their frame: the pixels of each put in place, the passes
// too, so that the frame is the one a single process renders.
#pragma once

#include "render/image/image_file.h"

#include <string>
#include <vector>

namespace xr {

// The frame the tiles make up, in their format, with their attributes less
// the tile's own. Throws std::runtime_error in one line naming the offending
// tile: one that is not a tile or is not what its metadata says, one that
// overlaps another; naming it and the first, as disagreeing, for another
// frame, format, set of channels or render than the first's; or naming a
// pixel no tile covers.
ImageFile merge_tiles(const std::vector<std::string>& paths);

} // namespace xr
