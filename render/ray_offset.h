// Where rays leaving a surface start. The hit point is recomputed from the
// triangle's corners, and a ray leaving it starts off the surface along the
// geometric normal, by a bound on that computation's rounding error that grows
// with the point's magnitude, then rounded away from the surface: it cannot
// find the surface it leaves again, however far from the origin that lies.
#pragma once

#include "render/host_records.h"
#include "render/instance.h"
#include "render/mesh.h"

namespace xr {

struct SurfacePoint {
    Vec3 point;
    Vec3 geometric_normal; // unit, by the triangle's winding
    float offset;          // the error bound along geometric_normal
};

// The point at barycentric (u, v) of the triangle.
SurfacePoint surface_point(const Mesh& mesh, uint32_t triangle, float u, float v);
// The same of an instance's triangle, in world space: the bound also covers
// the map to the world and Embree's map of rays back into the mesh's space.
SurfacePoint surface_point(const Mesh& mesh, const Instance& instance, uint32_t triangle, float u,
                           float v);

// The origin of rays leaving `point` on the side that `n` points to.
Vec3 offset_origin(Vec3 point, Vec3 n, float offset);

// The origin of a ray leaving the state's point in direction `w`, on w's side of the surface.
inline Vec3 leaving_origin(const HostState& s, Vec3 w) {
    return Vec3(dot(w, Vec3(s.geometric_normal)) < 0.0f ? s.leave_against : s.leave_along);
}

} // namespace xr
