#include "render/light.h"

#include <cmath>

namespace xr {

Light Light::point(Vec3 position, Vec3 intensity) {
    Light light;
    light.position = position;
    light.color = intensity;
    return light;
}

Light Light::rect(Vec3 corner, Vec3 edge_u, Vec3 edge_v, Vec3 radiance, int samples) {
    Light light;
    light.kind = Kind::rect;
    light.position = corner;
    light.edge_u = edge_u;
    light.edge_v = edge_v;
    light.color = radiance;
    light.samples = samples;
    return light;
}

LightSample Light::sample(int k, Vec3 point, Rng& rng) const {
    Vec3 target = position;
    float emitted = 1.0f;
    if (kind == Kind::rect) {
        // A grid of strata close to square, filled row by row.
        const int columns = int(std::ceil(std::sqrt(float(samples))));
        const int rows = (samples + columns - 1) / columns;
        const float u = (float(k % columns) + rng.uniform()) / float(columns);
        const float v = (float(k / columns) + rng.uniform()) / float(rows);
        target = position + edge_u * u + edge_v * v;
        const Vec3 area_normal = cross(edge_u, edge_v); // its length is the area
        emitted = std::max(0.0f, dot(area_normal, normalize(point - target)));
    }
    const Vec3 to_light = target - point;
    const float distance2 = std::max(dot(to_light, to_light), 1e-12f);
    const float distance = std::sqrt(distance2);
    return {color * (emitted / distance2), to_light / distance, distance};
}

} // namespace xr
