// Renders a scene into an image: jittered samples per pixel, tiles in parallel.
#pragma once

#include "render/image/film.h"
#include "render/image/passes.h"
#include "render/render_settings.h"
#include "render/thread_context.h"

#include <tbb/task_group.h>

#include <functional>

namespace xr {

// The most threads a render can use: every core, unless oneTBB is told otherwise.
int available_threads();

// Told the fraction of the image done, from whichever thread finished a tile.
using ProgressFn = std::function<void(float done)>;

// What a frame is rendered from.
struct RenderJob {
    const Scene& scene;
    qorv_xraytexture_fn shader;
    RenderSettings settings;
    std::vector<Pass> passes = {}; // channels of the film beside the beauty
};

// How a render in flight is watched and stopped.
struct RenderControl {
    ProgressFn progress;
    // Cancelling it from another thread stops the render before its next
    // tile; the film is then incomplete.
    tbb::task_group_context* group = nullptr;
    // For the benchmarks: when set, every ray the frame casts is recorded
    // in it, tile by tile.
    RayLog* ray_log = nullptr;
};

// The beauty, linear and premultiplied by alpha, with the passes asked for.
Film render_film(const RenderJob& job, RenderStats& stats, const RenderControl& control = {});

// The beauty alone.
Image render(const RenderJob& job, RenderStats& stats, const RenderControl& control = {});

} // namespace xr
