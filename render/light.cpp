#include "render/light.h"

#include <cmath>

namespace xr {

Light Light::point(Vec3 position, Vec3 intensity) {
    Light light;
    light.position_ = position;
    light.color_ = intensity;
    return light;
}

Light Light::rect(Vec3 corner, Vec3 edge_u, Vec3 edge_v, Vec3 radiance, int samples) {
    Light light;
    light.kind_ = Kind::rect;
    light.position_ = corner;
    light.edge_u_ = edge_u;
    light.edge_v_ = edge_v;
    light.area_normal_ = cross(edge_u, edge_v);
    light.color_ = radiance;
    // A grid of strata close to square, filled row by row.
    samples = std::max(samples, 1);
    const int columns = int(std::ceil(std::sqrt(float(samples))));
    const int rows = (samples + columns - 1) / columns;
    light.columns_ = float(columns);
    light.rows_ = float(rows);
    light.strata_.clear();
    for (int k = 0; k < samples; ++k)
        light.strata_.push_back({float(k % columns), float(k / columns)});
    return light;
}

} // namespace xr
