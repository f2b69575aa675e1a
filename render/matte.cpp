#include "render/matte.h"

#include "render/light_stratum.h"
#include "render/lighting.h"

namespace xr {

namespace {

constexpr float inv_pi = 1.0f / pi;
// The share of the studio's light that reaches a surface from all around.
constexpr float ambient = 0.45f;

} // namespace

Vec3 matte_albedo(const Scene& scene, const HostState& s) {
    const Material& material = *s.material;
    if (const Texture* texture = scene.texture(material.albedo_texture()))
        return rgb(texture->eval(Vec3(s.point)));
    return material.albedo();
}

Color shade_matte(ThreadContext& context, const HostState& s) {
    const Vec3 normal(s.normal);
    const Vec3 albedo = matte_albedo(context.scene, s);

    // One sample per light and pixel sample: the pixel's samples visit the strata in turn.
    Vec3 direct;
    for (const Light& light : context.scene.lights()) {
        const int k = light_stratum(context.pixel_sample, light.samples(), context.planned_samples,
                                    context.pixel);
        const LightSample sample = incident_light(context, s, light, k);
        direct += sample.color * std::max(0.0f, dot(normal, sample.direction));
    }
    const Vec3 sky = rgb(studio_sky(normal));
    return rgba(albedo * (direct * inv_pi + sky * ambient));
}

} // namespace xr
