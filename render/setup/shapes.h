// Primitive shapes with smooth normals where the surface is smooth.
#pragma once

#include "render/mesh.h"

namespace xr {

Mesh sphere(Vec3 center, float radius, int segments = 96);
Mesh torus(Vec3 center, float major, float minor, int segments = 128);
Mesh box(Vec3 lo, Vec3 hi);
// An upward-facing square in the plane y = center.y.
Mesh ground(Vec3 center, float half_size);

} // namespace xr
