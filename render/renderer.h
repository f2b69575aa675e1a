// Renders a scene into an image: jittered samples per pixel, tiles in parallel.
#pragma once

#include "render/image.h"
#include "render/thread_context.h"

#include <functional>

namespace xr {

struct RenderSettings {
    int width = 640;
    int height = 400;
    int samples = 16; // per pixel
    int threads = 0;  // 0: every core
    uint32_t seed = 1;
};

// Threads a render uses when the settings leave it open: every core.
int default_threads();

// Told the fraction of the image done, from whichever thread finished a tile.
using ProgressFn = std::function<void(float done)>;

Image render(const Scene& scene, ShaderFn shader, const RenderSettings& settings,
             RenderStats& stats, const ProgressFn& progress = {});

} // namespace xr
