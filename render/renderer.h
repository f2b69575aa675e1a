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

// The beauty, linear and premultiplied by alpha, with the passes asked for.
// Cancelling `group` from another thread stops the render before its next
// tile; the film is then incomplete. With a log, every ray the frame casts is
// recorded in it, tile by tile.
Film render_film(const Scene& scene, qorv_xraytexture_fn shader, const RenderSettings& settings,
                 const std::vector<Pass>& passes, RenderStats& stats,
                 const ProgressFn& progress = {}, tbb::task_group_context* group = nullptr,
                 RayLog* ray_log = nullptr);

// The beauty alone.
Image render(const Scene& scene, qorv_xraytexture_fn shader, const RenderSettings& settings,
             RenderStats& stats, const ProgressFn& progress = {},
             tbb::task_group_context* group = nullptr, RayLog* ray_log = nullptr);

} // namespace xr
