// The host's own diffuse material, lit by every scene light and the studio.
#pragma once

#include "render/thread_context.h"

namespace xr {

// The colour of the matte surface at the state's point, before lighting.
Vec3 matte_albedo(const Scene& scene, const HostState& state);

Color shade_matte(ThreadContext& context, const HostState& state);

} // namespace xr
