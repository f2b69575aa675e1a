// Renders a scene into an image: jittered samples per pixel, tiles in parallel.
#pragma once

#include "render/image.h"
#include "render/render_settings.h"
#include "render/thread_context.h"

#include <functional>

namespace xr {

// The most threads a render can use: every core, unless oneTBB is told otherwise.
int available_threads();

// Told the fraction of the image done, from whichever thread finished a tile.
using ProgressFn = std::function<void(float done)>;

// With a log, every ray the frame casts is recorded in it, tile by tile.
Image render(const Scene& scene, ShaderFn shader, const RenderSettings& settings,
             RenderStats& stats, const ProgressFn& progress = {}, RayLog* ray_log = nullptr);

} // namespace xr
