// The scene's lights: points give one sample, rectangles a stratified set.
#pragma once

#include "render/rng.h"
#include "render/vec.h"

namespace xr {

struct LightSample {
    Vec3 color;     // what arrives at the point, before any shadow
    Vec3 direction; // unit, from the point towards the light
    float distance;
};

struct Light {
    enum class Kind { point, rect };

    Kind kind = Kind::point;
    Tag tag = 0;         // given by the scene
    Vec3 position;       // the point, or a corner of the rectangle
    Vec3 edge_u, edge_v; // the rectangle's sides; it emits on the side of edge_u x edge_v
    Vec3 color;          // intensity of a point, radiance of a rectangle
    int samples = 1;

    static Light point(Vec3 position, Vec3 intensity);
    static Light rect(Vec3 corner, Vec3 edge_u, Vec3 edge_v, Vec3 radiance, int samples = 16);

    // Sample k of `samples` as seen from `point`, jittered within its stratum.
    LightSample sample(int k, Vec3 point, Rng& rng) const;
};

} // namespace xr
