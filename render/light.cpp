#include "render/light.h"

#include "render/util/lanes.h"

#include <algorithm>

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
    // A grid of strata close to square that the samples fill, row by row: a
    // cell left over would leave its part of the rectangle dark. A prime
    // count makes one row.
    samples = std::max(samples, 1);
    int columns = 1;
    while (columns * columns < samples)
        ++columns;
    while (samples % columns != 0)
        ++columns;
    const int rows = samples / columns;
    light.columns_ = Divisor(float(columns));
    light.rows_ = Divisor(float(rows));
    light.cell_columns_.clear();
    light.cell_rows_.clear();
    for (int k = 0; k < samples + 3; ++k) {
        const int cell = std::min(k, samples - 1);
        light.cell_columns_.push_back(float(cell % columns));
        light.cell_rows_.push_back(float(cell / columns));
    }
    return light;
}

void Light::sample_run(int first, int count, Vec3 point, Vec3 normal, Rng rng,
                       SampleRun& run) const {
    if (kind_ != Kind::rect) {
        for (int i = 0; i < count; ++i) {
            const LightSample s = sample(first + i, point, rng);
            const auto k = size_t(i);
            for (int c = 0; c < 3; ++c) {
                run.color[c][k] = s.color[c];
                run.direction[c][k] = s.direction[c];
            }
            run.distance[k] = s.distance;
            run.cosine[k] = dot(normal, s.direction);
        }
        return;
    }
    // sample() for four samples at once, operation for operation. Lanes past
    // the run repeat the last cell; what they work out is not kept.
    for (int g = 0; g < count; g += 4) {
        const auto cell = size_t(first + g);
        // Each sample draws u then v. The lanes are put together in
        // registers: loading four floats just stored one by one would wait
        // for the stores to reach the cache.
        const float u0 = rng.uniform(), v0 = rng.uniform(), u1 = rng.uniform();
        const float v1 = rng.uniform(), u2 = rng.uniform(), v2 = rng.uniform();
        const float u3 = rng.uniform(), v3 = rng.uniform();
        const Lanes ru{u0, u1, u2, u3}, rv{v0, v1, v2, v3};
        const Lanes column = load_lanes(&cell_columns_[cell]);
        const Lanes row = load_lanes(&cell_rows_[cell]);
        const Lanes u = columns_.divide(column + ru);
        const Lanes v = rows_.divide(row + rv);
        const Lanes tx = position_.x + edge_u_.x * u + edge_v_.x * v;
        const Lanes ty = position_.y + edge_u_.y * u + edge_v_.y * v;
        const Lanes tz = position_.z + edge_u_.z * u + edge_v_.z * v;
        const Lanes lx = tx - point.x, ly = ty - point.y, lz = tz - point.z;
        const Lanes dot2 = lx * lx + ly * ly + lz * lz;
        const Lanes tiny = broadcast(min_light_distance2);
        const Lanes distance2 = dot2 < tiny ? tiny : dot2; // std::max(dot2, tiny)
        const Lanes distance = root(distance2);
        const Lanes inverse = 1.0f / distance;
        const Lanes dx = lx * inverse, dy = ly * inverse, dz = lz * inverse;
        const Lanes facing = -(area_normal_.x * dx + area_normal_.y * dy + area_normal_.z * dz);
        const Lanes zero = broadcast(0.0f);
        const Lanes emitted = zero < facing ? facing : zero; // std::max(0.0f, facing)
        const Lanes falloff = emitted / distance2;
        const Lanes cosine = normal.x * dx + normal.y * dy + normal.z * dz;
        const auto at = size_t(g);
        const Lanes channels[] = {
            color_.x * falloff, color_.y * falloff, color_.z * falloff, dx, dy, dz};
        for (size_t c = 0; c < 3; ++c) {
            store_lanes(&run.color[c][at], channels[c]);
            store_lanes(&run.direction[c][at], channels[3 + c]);
        }
        store_lanes(&run.distance[at], distance);
        store_lanes(&run.cosine[at], cosine);
    }
}

} // namespace xr
