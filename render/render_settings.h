// How a render samples the image.
#pragma once

#include "render/image/pixel_region.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

namespace xr {

// The largest image side, and the most samples a pixel, a render takes.
constexpr int max_image_side = 65536;
constexpr int max_samples = 65536;

// Adaptive sampling's defaults: a pixel's error, in steps of an 8-bit image,
// that nobody sees (the step itself is at the edge of what anyone sees), and
// the samples every pixel takes before its error is trusted.
constexpr float default_noise = 0.5f;
constexpr int default_min_samples = 16;
// The largest noise threshold: the whole range of an 8-bit image.
constexpr float max_noise = 255.0f;
// The most noise a pixel that needs many samples may keep, in thresholds.
constexpr float most_leeway = 4.0f;

// The instruction sets Embree can be told to trace with. By default it takes
// the widest the CPU has, and each traces a few hits differently in the last
// bit: images are the same to the byte only between machines tracing with
// one set, which naming one pins.
constexpr const char* instruction_sets[] = {"sse2", "sse4.2", "avx", "avx2", "avx512"};

struct RenderSettings {
    int width = 640;
    int height = 400;
    int samples = 16; // per pixel; the most a pixel takes when sampling adaptively
    int threads = 0;  // 0: every core
    std::string isa;  // Embree's instruction set (instruction_sets); empty: the CPU's widest
    uint32_t seed = 1;
    // Adaptive sampling: each pixel takes at least min_samples, then more
    // until the estimated error of what a display shows of it is under
    // `noise` steps of an 8-bit image, or it has taken `samples`.
    bool adaptive = false;
    float noise = default_noise;
    int min_samples = default_min_samples;
    // The samples every pixel of an adaptive render takes: at least two where
    // it may take more, as one sample says nothing of its noise.
    int fewest_samples() const { return std::clamp(min_samples, std::min(2, samples), samples); }
    // Only this window of the frame is rendered, each pixel sampled as in the
    // whole frame; the whole frame when absent.
    std::optional<PixelRegion> region;
};

// Why adaptive sampling, asked for, can stop no pixel early, in words for a
// warning; empty when it can, or is not asked for. The counts may come from
// the command line or from the scene file.
std::string unadaptive_warning(const RenderSettings& s);

} // namespace xr
