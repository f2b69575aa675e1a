// xray-render [options]: renders the scene the options describe into an image
// or a turntable's frames, or lists its parts.
#pragma once

#include "render/cli/options.h"

namespace xr {

// Throws std::runtime_error, in one line, when the render cannot be made.
void render_command(const RenderOptions& options);

} // namespace xr
