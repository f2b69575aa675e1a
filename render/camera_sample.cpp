#include "render/camera_sample.h"

#include "render/sample_bounds.h"
#include "render/tracer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace xr {

namespace {

// The sample, summable as camera_sample says: one test on the path every
// sample takes, the rest only for those that fail it.
Color summable(Color c, RenderStats& stats) {
    constexpr float most = max_sample_value;
    // On the channels' bits, without a branch each: magnitudes order as their
    // bits do, and a NaN's lie above every number's.
    uint32_t bits[4], most_bits;
    std::memcpy(bits, &c, sizeof bits);
    std::memcpy(&most_bits, &most, sizeof most_bits);
    const uint32_t largest = std::max(std::max(bits[0] & 0x7fffffffu, bits[1] & 0x7fffffffu),
                                      std::max(bits[2] & 0x7fffffffu, bits[3] & 0x7fffffffu));
    if (largest <= most_bits)
        return c;
    ++stats.unsound;
    for (float* v : {&c.r, &c.g, &c.b, &c.a})
        *v = std::isnan(*v) ? 0.0f : std::clamp(*v, -most, most);
    return c;
}

} // namespace

Color camera_sample(ThreadContext& context, const CameraView& camera,
                    const RenderSettings& settings, int x, int y, int i, int planned,
                    const PassSampler* passes, PassSampler::Pixel& pass_pixel) {
    const auto pixel = uint32_t(y) * uint32_t(settings.width) + uint32_t(x);
    context.rng = Rng(settings.seed, pixel, uint32_t(i));
    context.pixel_sample = i;
    context.planned_samples = planned;
    context.pixel_stream = uint64_t(settings.seed) << 32 | pixel;
    const float jx = context.rng.uniform(), jy = context.rng.uniform();
    const Vec3 direction = camera.direction(float(x) + jx, float(y) + jy);
    Color c = {0.0f, 0.0f, 0.0f, 0.0f};
    context.see_through_left = see_through_budget;
    const bool hit = trace(context, camera.eye(), direction, 0, ray_eye, c);
    if (passes)
        passes->add(context, hit ? &context.states[0] : nullptr, pass_pixel);
    return summable(context.scene.environment.behind(c, direction), context.stats);
}

} // namespace xr
