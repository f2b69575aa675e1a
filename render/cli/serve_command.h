// xray-render serve: a web page for look development, with the x-ray
// material's controls beside a picture that refines while you watch.
#pragma once

#include "render/cli/options.h"

namespace xr {

// Serves the scene the options describe until the program is stopped. Throws
// std::runtime_error, before anything is served, for a scene that cannot be
// loaded, files that cannot be written or an address that cannot be bound.
int serve(const Options& options);

} // namespace xr
