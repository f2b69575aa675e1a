#include "render/lighting.h"

#include "render/ray_offset.h"

namespace xr {

namespace {

// Shadow rays stop this fraction short of the light.
constexpr float shadow_epsilon = 1e-4f;

} // namespace

LightSample incident_light(ThreadContext& context, const HostState& state, const Light& light,
                           int k) {
    const Vec3 point(state.point), normal(state.normal);
    LightSample sample = light.sample(k, point, context.rng);
    if (dot(normal, sample.direction) <= 0.0f) {
        sample.color = {};
        return sample;
    }
    const Vec3 origin =
        offset_origin(point, Vec3(state.geometric_normal), state.offset, sample.direction);
    ++context.stats.rays;
    if (context.scene.intersector().occluded(origin, sample.direction, 0.0f,
                                             sample.distance * (1.0f - shadow_epsilon)))
        sample.color = {};
    return sample;
}

} // namespace xr
