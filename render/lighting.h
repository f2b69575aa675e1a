// Light arriving at a shaded point, with shadows from opaque geometry.
#pragma once

#include "render/thread_context.h"

namespace xr {

// Sample k of the light as it reaches the state's point: black when the light
// lies behind the surface or opaque geometry blocks it.
LightSample incident_light(ThreadContext& context, const HostState& state, const Light& light,
                           int k);

} // namespace xr
