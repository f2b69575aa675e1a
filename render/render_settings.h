// How a render samples the image.
#pragma once

#include <cstdint>

namespace xr {

struct RenderSettings {
    int width = 640;
    int height = 400;
    int samples = 16; // per pixel
    int threads = 0;  // 0: every core
    uint32_t seed = 1;
};

} // namespace xr
