// Light arriving at a shaded point, with shadows from opaque geometry.
#pragma once

#include "render/ray_offset.h"
#include "render/thread_context.h"

#include <cstdint>
#include <cstring>

namespace xr {

// Shadow rays stop this fraction short of the light.
constexpr float shadow_epsilon = 1e-4f;

// Whether opaque geometry blocks the sample from the state's point, which the
// light reaches from in front (a cosine above 0 with the shading normal). A
// sample that brings nothing, from behind a rectangle say, has nothing to be
// blocked and casts no ray. Always inline, as the light's sample is: every
// shadow ray is cast from here, and a call would spill the caller's vectors.
[[gnu::always_inline]] inline bool blocked(ThreadContext& context, const HostState& state,
                                           const LightSample& sample) {
    // Whether the colour is black (0 or -0 in every channel), without the
    // branches that comparing floats one by one takes.
    uint32_t bits[3];
    std::memcpy(bits, &sample.color, sizeof bits);
    if (((bits[0] | bits[1] | bits[2]) & 0x7fffffffu) == 0)
        return false;
    const Vec3 origin = leaving_origin(state, sample.direction);
    const float far = sample.distance * (1.0f - shadow_epsilon);
    context.count_ray(RayKind::shadow, origin, sample.direction, 0.0f, far);
    return context.scene.intersector().occluded(origin, sample.direction, 0.0f, far);
}

// Sample k of the light as it reaches the state's point: black when the light
// lies behind the surface or opaque geometry blocks it.
[[gnu::always_inline]] inline LightSample
incident_light(ThreadContext& context, const HostState& state, const Light& light, int k) {
    LightSample sample = light.sample(k, Vec3(state.point), context.rng);
    // Not "> 0": a NaN cosine lets the sample through, as it always has.
    if (dot(Vec3(state.normal), sample.direction) <= 0.0f || blocked(context, state, sample))
        sample.color = {};
    return sample;
}

} // namespace xr
