// The renders a preview goes through after each change: small and quick
// first, so that the page answers at once, then larger and finer, ending with
// the scene's own settings.
#pragma once

#include "render/render_settings.h"

#include <vector>

namespace xr {

// Each stage at most as costly as the next; the last is `full` itself.
std::vector<RenderSettings> preview_stages(const RenderSettings& full);

} // namespace xr
