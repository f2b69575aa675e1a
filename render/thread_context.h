// What one rendering thread owns: the states of the rays it has in flight, one
// per nesting depth, and the scratch the host operations hand to shaders.
#pragma once

#include "render/host_records.h"
#include "render/light_batch.h"
#include "render/ray_log.h"
#include "render/render_stats.h"
#include "render/scene.h"
#include "render/util/rng.h"
#include <qorv_xraytexture.h>

#include <array>
#include <cstdint>
#include <vector>

namespace xr {

// Rays nest this deep at most: a see-through ray from this depth finds
// nothing, and is counted (RenderStats::cut_off). An x-rayed assembly puts
// two surfaces a part in a ray's way, a finned one a hundred or more. Each
// level costs a thread about 0.6 KiB of stack (the shader's frame, trace and
// mi_trace_reflection: 624 bytes on x86-64, 2.2 KiB under AddressSanitizer),
// 160 KiB in all, well within oneTBB's 4 MiB worker stacks and the 8 MiB of
// the main and serve threads; and 0.4 KiB of this context. The guide
// (docs/xray-render.md) states this number.
constexpr int max_depth = 256;

// See-through rays one camera sample may cast; those asked for beyond them
// find nothing, and are counted (RenderStats::starved). A shader that skips
// flagged surfaces looks through a surface after tracing what lies behind
// it, which the ray then traces again: nested layers can double a sample's
// rays each, and a camera on a sphere's pole, where dozens of triangles meet,
// never finished a frame. Sixteen such layers, each doubling, fit: as many as
// rays nested before their limit was raised, and more than an assembly of
// eight parts x-rayed before a flagged one needs.
constexpr uint32_t see_through_budget = 1u << 16;

// On cache lines of its own: threads write their counters on every ray.
struct alignas(64) ThreadContext {
    ThreadContext(const Scene& scene, qorv_xraytexture_fn shader);

    const Scene& scene;
    qorv_xraytexture_fn shader;
    // The state of a surface reached at depth d lives in states[d] until the
    // shading of its parent returns.
    std::array<HostState, max_depth + 1> states{};
    // Replaced light lists and evaluated parameters, one set per depth so that
    // a nested shader never overwrites what its caller still holds. Two light
    // lists a depth: a list handed back is read while the other is built.
    std::array<std::array<std::vector<Tag>, 2>, max_depth + 1> light_lists;
    std::array<std::vector<uint32_t>, max_depth + 1> param_values;
    Rng rng;
    // Sample pixel_sample of the planned_samples the pixel takes in this round
    // of sampling; pixel_stream names the pixel and the seed.
    int pixel_sample = 0;
    int planned_samples = 1;
    uint64_t pixel_stream = 0;
    uint32_t see_through_left = see_through_budget; // the camera sample's, left
    // The run of light samples the shader is being answered from.
    LightBatch light_batch;
    RenderStats stats;
    // Where the rays of the tile in hand go while the render records them.
    std::vector<RecordedRay>* ray_log = nullptr;

    // Counts a ray about to be cast, and records it if asked to: a test on
    // every ray, the recording out of the way of the code that casts it.
    void count_ray(RayKind kind, Vec3 origin, Vec3 direction, float near, float far) {
        ++stats.rays;
        if (ray_log) [[unlikely]]
            record_ray({origin, direction, near, far, kind});
    }

  private:
    [[gnu::cold, gnu::noinline]] void record_ray(const RecordedRay& ray);
};

} // namespace xr
