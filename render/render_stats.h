// What a render counts as it goes, per thread and then summed.
#pragma once

#include <algorithm>
#include <cstdint>

namespace xr {

struct RenderStats {
    uint64_t rays = 0;
    uint64_t samples = 0;      // camera samples
    uint64_t unsound = 0;      // camera samples made summable (camera_sample.h)
    uint64_t shader_calls = 0; // calls of the x-ray shader
    int deepest = 0;           // the deepest nesting at which it was called
    uint64_t cut_off = 0;      // see-through rays refused at the nesting limit (max_depth)
    uint64_t starved = 0;      // and once their camera sample had cast see_through_budget
    int threads = 0;           // threads that rendered
    double seconds = 0.0;

    RenderStats& operator+=(const RenderStats& other) {
        rays += other.rays;
        samples += other.samples;
        unsound += other.unsound;
        shader_calls += other.shader_calls;
        deepest = std::max(deepest, other.deepest);
        cut_off += other.cut_off;
        starved += other.starved;
        return *this;
    }
};

} // namespace xr
