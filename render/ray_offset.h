// Where rays leaving a surface start. The hit point is recomputed from the
// triangle's corners, and a ray leaving it starts off the surface along the
// geometric normal, by a bound on that computation's rounding error that grows
// with the point's magnitude, then rounded away from the surface: it cannot
// find the surface it leaves again, however far from the origin that lies.
#pragma once

#include "render/host_records.h"
#include "render/instance.h"
#include "render/mesh.h"

#include <cstdint>
#include <cstring>

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

inline uint32_t bits_of(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}
inline float float_of(uint32_t bits) {
    float x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// x moved to the next float on the side `direction` points to: up when it is
// positive, down when negative; x itself when it is 0 or NaN, and where no
// float lies that way. Worked out on the bits without a branch: the signs of
// normals' coordinates are anybody's guess, and a branch on each was
// mispredicted about half the time.
inline float away(float x, float direction) {
    // Stepping down is stepping -x up.
    const uint32_t flip = uint32_t(direction < 0.0f) << 31;
    const uint32_t bits = bits_of(x) ^ flip;
    const uint32_t magnitude = bits & 0x7fffffffu;
    // Up from either zero is the least positive float; from any other finite
    // value one unit in the last place, outwards when it is positive.
    const uint32_t step = magnitude == 0 ? 1u : bits + 1u - ((bits >> 31) << 1);
    // Nothing lies above +inf, nor next to a NaN.
    const uint32_t up = magnitude > 0x7f800000u || bits == 0x7f800000u ? bits : step;
    const bool moves = direction > 0.0f || direction < 0.0f;
    return float_of((moves ? up : bits) ^ flip);
}

// The origin of rays leaving `point` on the side that `n` points to. Inline:
// every hit works out two, and passing vectors to a call packs them through
// the stack.
inline Vec3 offset_origin(Vec3 point, Vec3 n, float offset) {
    const Vec3 shift = n * offset;
    const Vec3 o = point + shift;
    return {away(o.x, shift.x), away(o.y, shift.y), away(o.z, shift.z)};
}

// The origin of a ray leaving the state's point in direction `w`, on w's side of the surface.
inline Vec3 leaving_origin(const HostState& s, Vec3 w) {
    return Vec3(dot(w, Vec3(s.geometric_normal)) < 0.0f ? s.leave_against : s.leave_along);
}

} // namespace xr
