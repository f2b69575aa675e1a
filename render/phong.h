// The cosine a Phong highlight raises to its exponent, written once for one
// light sample (T = float) and for four (T = Lanes): a run of samples works
// out its factors ahead, and they must be to the bit those of a single call.
#pragma once

#include "render/util/lanes.h"

namespace xr {

// The cosine between the light's direction l mirrored in the unit normal n
// and the way back to the viewer, -v (v being the incident ray's direction);
// 0 when the light is behind the surface. l is made unit first: a vector of
// squared length exactly 1 comes through unchanged, as it always has.
template <class T> T phong_cosine(T nx, T ny, T nz, T lx, T ly, T lz, T vx, T vy, T vz) {
    const T length = root(lx * lx + ly * ly + lz * lz);
    const T inverse = 1.0f / length;
    const auto scale = length > 0.0f;
    lx = scale ? lx * inverse : lx;
    ly = scale ? ly * inverse : ly;
    lz = scale ? lz * inverse : lz;
    const T cos_light = nx * lx + ny * ly + nz * lz;
    const T twice = 2.0f * cos_light;
    const T rx = nx * twice - lx, ry = ny * twice - ly, rz = nz * twice - lz;
    // Negating the sum rather than each term gives the same float, a zero's sign aside.
    const T cos_view = -(rx * vx + ry * vy + rz * vz);
    // "Not above 0" takes a NaN cosine with it, as returning early on "<= 0" did:
    // its NaN would have reached cos_view.
    return cos_light > 0.0f ? cos_view : T{};
}

} // namespace xr
