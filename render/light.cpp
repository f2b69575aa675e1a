#include "render/light.h"

#include <algorithm>
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

namespace {

// Four floats, one sample each: IEEE arithmetic lane by lane, so each lane
// rounds as the same operation on one float does.
using Lanes = float __attribute__((vector_size(16)));

Lanes broadcast(float x) {
    return Lanes{x, x, x, x};
}

} // namespace

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
    // sample() for four samples at once, operation for operation.
    const int last = samples() - 1;
    for (int g = 0; g < count; g += 4) {
        alignas(16) float cells[2][4], draws[2][4];
        for (size_t j = 0; j < 4; ++j) {
            // Lanes past the run repeat a cell; what they work out is not kept.
            const Stratum cell = strata_[size_t(std::min(first + g + int(j), last))];
            cells[0][j] = cell.column;
            cells[1][j] = cell.row;
            draws[0][j] = rng.uniform();
            draws[1][j] = rng.uniform();
        }
        Lanes column, row, ru, rv;
        __builtin_memcpy(&column, cells[0], sizeof column);
        __builtin_memcpy(&row, cells[1], sizeof row);
        __builtin_memcpy(&ru, draws[0], sizeof ru);
        __builtin_memcpy(&rv, draws[1], sizeof rv);
        const Lanes u = (column + ru) / columns_;
        const Lanes v = (row + rv) / rows_;
        const Lanes tx = position_.x + edge_u_.x * u + edge_v_.x * v;
        const Lanes ty = position_.y + edge_u_.y * u + edge_v_.y * v;
        const Lanes tz = position_.z + edge_u_.z * u + edge_v_.z * v;
        const Lanes lx = tx - point.x, ly = ty - point.y, lz = tz - point.z;
        const Lanes dot2 = lx * lx + ly * ly + lz * lz;
        const Lanes tiny = broadcast(1e-12f);
        const Lanes distance2 = dot2 < tiny ? tiny : dot2; // std::max(dot2, tiny)
        alignas(16) float squares[4], roots[4];
        __builtin_memcpy(squares, &distance2, sizeof squares);
        for (size_t j = 0; j < 4; ++j)
            roots[j] = std::sqrt(squares[j]);
        Lanes distance;
        __builtin_memcpy(&distance, roots, sizeof distance);
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
            __builtin_memcpy(&run.color[c][at], &channels[c], sizeof(Lanes));
            __builtin_memcpy(&run.direction[c][at], &channels[3 + c], sizeof(Lanes));
        }
        __builtin_memcpy(&run.distance[at], &distance, sizeof(Lanes));
        __builtin_memcpy(&run.cosine[at], &cosine, sizeof(Lanes));
    }
}

} // namespace xr
