// How a render samples the image.
#pragma once

#include <cstdint>

namespace xr {

// The largest image side, and the most samples a pixel, a render takes.
constexpr int max_image_side = 65536;
constexpr int max_samples = 65536;

struct RenderSettings {
    int width = 640;
    int height = 400;
    int samples = 16; // per pixel
    int threads = 0;  // 0: every core
    uint32_t seed = 1;
};

} // namespace xr
