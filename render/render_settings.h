// How a render samples the image.
#pragma once

#include "render/image/pixel_region.h"

#include <cstdint>
#include <optional>

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
    // Only this window of the frame is rendered, each pixel sampled as in the
    // whole frame; the whole frame when absent.
    std::optional<PixelRegion> region;
};

} // namespace xr
