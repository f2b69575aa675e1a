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
    // Nothing arrives, from behind a rectangle say: nothing for a shadow to block.
    if (sample.color.x == 0.0f && sample.color.y == 0.0f && sample.color.z == 0.0f)
        return sample;
    const Vec3 origin = leaving_origin(state, sample.direction);
    const float far = sample.distance * (1.0f - shadow_epsilon);
    context.count_ray(RayKind::shadow, origin, sample.direction, 0.0f, far);
    if (context.scene.intersector().occluded(origin, sample.direction, 0.0f, far))
        sample.color = {};
    return sample;
}

} // namespace xr
