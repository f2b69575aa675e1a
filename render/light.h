// The scene's lights: points give one sample, rectangles a stratified set.
#pragma once

#include "render/sample_bounds.h"
#include "render/util/divisor.h"
#include "render/util/rng.h"
#include "render/util/vec.h"

#include <vector>

namespace xr {

struct LightSample {
    Vec3 color;     // what arrives at the point, before any shadow
    Vec3 direction; // unit, from the point towards the light
    float distance;
};

// A rectangle's samples unless its scene says otherwise.
constexpr int rect_light_samples = 16;

// Consecutive samples of a light as seen from one point, channel by channel,
// with each one's cosine to a normal there.
struct SampleRun {
    static constexpr int capacity = rect_light_samples;
    alignas(16) float color[3][capacity];
    alignas(16) float direction[3][capacity];
    alignas(16) float distance[capacity];
    alignas(16) float cosine[capacity];

    LightSample at(int i) const {
        const auto k = size_t(i);
        return {{color[0][k], color[1][k], color[2][k]},
                {direction[0][k], direction[1][k], direction[2][k]},
                distance[k]};
    }
};

// A light, with what all its samples share worked out when it is made.
class Light {
  public:
    enum class Kind { point, rect };

    static Light point(Vec3 position, Vec3 intensity);
    // It emits on the side of edge_u x edge_v.
    static Light rect(Vec3 corner, Vec3 edge_u, Vec3 edge_v, Vec3 radiance,
                      int samples = rect_light_samples);

    Tag tag = 0; // given by the scene

    int samples() const { return int(cell_columns_.size()) - 3; }
    // The random numbers each sample draws.
    int draws() const { return kind_ == Kind::rect ? 2 : 0; }
    // Sample k of samples() as seen from `point`, jittered within its stratum.
    // Always inline: every shadow ray starts here, and a call would spill the
    // caller's vectors around it.
    [[gnu::always_inline]] LightSample sample(int k, Vec3 point, Rng& rng) const;
    // Samples first to first + count - 1 (count at most SampleRun::capacity),
    // as sample() gives them one after another from `rng`, four at a time.
    void sample_run(int first, int count, Vec3 point, Vec3 normal, Rng rng, SampleRun& run) const;

  private:
    Kind kind_ = Kind::point;
    Vec3 position_;        // the point, or a corner of the rectangle
    Vec3 edge_u_, edge_v_; // the rectangle's sides
    Vec3 area_normal_;     // edge_u x edge_v: its length is the area
    Vec3 color_;           // intensity of a point, radiance of a rectangle
    // The grid's columns and rows. Divided by, never multiplied by a rounded
    // reciprocal: samples stay to the bit where they always were.
    Divisor columns_{1.0f}, rows_{1.0f};
    // Sample k's cell of the grid by its corner in cells, row by row, and
    // after the last sample's cell three copies of it: four samples' cells
    // load at once from any first one. A point is one sample.
    std::vector<float> cell_columns_ = std::vector<float>(4, 0.0f);
    std::vector<float> cell_rows_ = std::vector<float>(4, 0.0f);
};

[[gnu::always_inline]] inline LightSample Light::sample(int k, Vec3 point, Rng& rng) const {
    Vec3 target = position_;
    if (kind_ == Kind::rect) {
        const float u = columns_.divide(cell_columns_[size_t(k)] + rng.uniform());
        const float v = rows_.divide(cell_rows_[size_t(k)] + rng.uniform());
        target = position_ + edge_u_ * u + edge_v_ * v;
    }
    const Vec3 to_light = target - point;
    const float distance2 = std::max(dot(to_light, to_light), min_light_distance2);
    const float distance = std::sqrt(distance2);
    const Vec3 direction = to_light / distance;
    // A rectangle's cosine towards the point; a point shines alike all round.
    const float emitted =
        kind_ == Kind::rect ? std::max(0.0f, -dot(area_normal_, direction)) : 1.0f;
    return {color_ * (emitted / distance2), direction, distance};
}

} // namespace xr
