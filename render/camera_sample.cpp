#include "render/camera_sample.h"

#include "render/tracer.h"

namespace xr {

Color camera_sample(ThreadContext& context, const CameraView& camera,
                    const RenderSettings& settings, int x, int y, int i, const PassSampler* passes,
                    PassSampler::Pixel& pass_pixel) {
    const auto pixel = uint32_t(y) * uint32_t(settings.width) + uint32_t(x);
    context.rng = Rng(settings.seed, pixel, uint32_t(i));
    context.pixel_sample = i;
    const float jx = context.rng.uniform(), jy = context.rng.uniform();
    const Vec3 direction = camera.direction(float(x) + jx, float(y) + jy);
    Color c = {0.0f, 0.0f, 0.0f, 0.0f};
    const bool hit = trace(context, camera.eye(), direction, 0, ray_eye, c);
    if (passes)
        passes->add(context, hit ? &context.states[0] : nullptr, pass_pixel);
    return context.scene.environment.behind(c, direction);
}

} // namespace xr
