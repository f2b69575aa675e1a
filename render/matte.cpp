#include "render/matte.h"

#include "render/lighting.h"

namespace xr {

namespace {

constexpr float inv_pi = 0.318309886f;
// The share of the studio's light that reaches a surface from all around.
constexpr float ambient = 0.45f;

} // namespace

Color shade_matte(ThreadContext& context, const HostState& s) {
    const Material& material = *s.material;
    const Vec3 point(s.point), normal(s.normal);
    Vec3 albedo = material.albedo();
    if (const Texture* texture = context.scene.texture(material.albedo_texture()))
        albedo = rgb(texture->eval(point));

    // One sample per light and pixel sample: the pixel's samples visit the strata in turn.
    Vec3 direct;
    for (const Light& light : context.scene.lights()) {
        const LightSample sample =
            incident_light(context, s, light, context.pixel_sample % light.samples());
        direct += sample.color * std::max(0.0f, dot(normal, sample.direction));
    }
    const Vec3 sky = rgb(context.scene.environment.color(normal));
    return rgba(albedo * (direct * inv_pi + sky * ambient));
}

} // namespace xr
