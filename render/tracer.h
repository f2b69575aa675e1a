// Follows rays to the surfaces they reach and shades those with their materials.
#pragma once

#include "render/thread_context.h"

namespace xr {

// Shades the nearest surface along the ray whose material gives a result; the
// state of that surface is left in context.states[depth]. Surfaces that give
// no result are looked through. False, with `result` untouched, when the ray
// reaches no such surface.
bool trace(ThreadContext& context, Vec3 origin, Vec3 direction, int depth, int32_t ray_type,
           Color& result);

} // namespace xr
