// Where rays leaving a surface start. The hit point is recomputed from the
// triangle's corners, and a ray leaving it starts off the surface along the
// geometric normal, by a bound on that computation's rounding error that grows
// with the point's magnitude, then rounded away from the surface: it cannot
// find the surface it leaves again, however far from the origin that lies.
#pragma once

#include "render/host_records.h"
#include "render/instance.h"
#include "render/mesh.h"
#include "render/util/lanes.h"

#include <cstdint>

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

// Each lane of x moved to the next float on the side its `direction` points
// to: up when it is positive, down when negative; x itself when it is 0 or NaN,
// and where no float lies that way. Worked out on the bits, without a branch:
// the signs of normals' coordinates are anybody's guess, and a branch on each
// was mispredicted about half the time.
inline Lanes away(Lanes x, Lanes direction) {
    // Stepping down is stepping -x up.
    const LaneBits flip = LaneBits(direction < 0.0f) & 0x80000000u;
    const LaneBits bits = bits_of(x) ^ flip;
    const LaneBits magnitude = bits & 0x7fffffffu;
    // Up from either zero is the least positive float; from any other finite
    // value one unit in the last place, outwards when it is positive.
    const LaneBits step =
        magnitude == 0u ? LaneBits{1u, 1u, 1u, 1u} : bits + 1u - ((bits >> 31) << 1);
    // Nothing lies above +inf, nor next to a NaN.
    const LaneBits up = (magnitude > 0x7f800000u) | (bits == 0x7f800000u) ? bits : step;
    const auto moves = (direction > 0.0f) | (direction < 0.0f);
    return float_of((moves ? up : bits) ^ flip);
}

// The origins of rays leaving `point` on the side that the unit normal `n`
// points to and on the other, `offset` off the surface. Inline and in lanes,
// both at once: every hit works out the pair.
struct LeavingOrigins {
    Vec3 along, against;
};
inline LeavingOrigins leaving_origins(Vec3 point, Vec3 n, float offset) {
    const Lanes p{point.x, point.y, point.z, 0.0f};
    // Against n, the shift is this one negated, to the bit (a NaN's sign aside).
    const Lanes shift = Lanes{n.x, n.y, n.z, 0.0f} * offset;
    const Lanes along = away(p + shift, shift), against = away(p - shift, -shift);
    return {{along[0], along[1], along[2]}, {against[0], against[1], against[2]}};
}

// The origin of a ray leaving the state's point in direction `w`, on w's side of the surface.
inline Vec3 leaving_origin(const HostState& s, Vec3 w) {
    return Vec3(dot(w, Vec3(s.geometric_normal)) < 0.0f ? s.leave_against : s.leave_along);
}

} // namespace xr
