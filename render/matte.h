// The host's own diffuse material, lit by every scene light and the studio.
#pragma once

#include "render/thread_context.h"

namespace xr {

Color shade_matte(ThreadContext& context, const HostState& state);

} // namespace xr
