#include "render/lighting.h"

namespace xr {

LightSample incident_light(ThreadContext& context, const HostState& state, const Light& light,
                           int k) {
    const Vec3 point(state.point), normal(state.normal);
    LightSample sample = light.sample(k, point, context.rng);
    if (dot(normal, sample.direction) <= 0.0f) {
        sample.color = {};
        return sample;
    }
    const float eps = context.scene.epsilon();
    ++context.stats.rays;
    if (context.scene.intersector().occluded(point + normal * eps, sample.direction, eps,
                                             sample.distance - 2.0f * eps))
        sample.color = {};
    return sample;
}

} // namespace xr
