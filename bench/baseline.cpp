#include "bench/baseline.h"
#include "shader/highlight.h"

#include <cmath>
#include <cstring>

namespace {

HostOps host_ops;

template <typename T> inline const T* resolve(RenderState* state, const T* param) {
    const int32_t link_offset = state->shader->link_offset;
    if (link_offset == 0)
        return param;
    uint32_t connection;
    std::memcpy(&connection, reinterpret_cast<const char*>(param) + link_offset, sizeof connection);
    if (connection == 0)
        return param;
    const void* value = host_ops.mi_phen_eval(state, const_cast<T*>(param));
    return value ? static_cast<const T*>(value) : param;
}

} // namespace

void bind_baseline(const HostOps& ops) {
    host_ops = ops;
}

// Same steps, same parameter order and same single-precision arithmetic as the
// library, so that both give the same bits for the same request.
int32_t baseline_shade(Color* result, RenderState* state, XrayParams* params) {
    if (state->ray_type == QORV_XRAYTEXTURE_RAY_SHADOW ||
        state->ray_type == QORV_XRAYTEXTURE_RAY_DISPLACE)
        return 0;
    const int32_t skip_flagged = *resolve(state, &params->skip_flagged);
    if (skip_flagged && state->surface_flag)
        return 0;

    Color see_color = {0.0f, 0.0f, 0.0f, 0.0f};
    const Color base = *resolve(state, &params->color);
    int32_t found = host_ops.mi_trace_reflection(&see_color, state, &state->direction);
    if (!found)
        found = host_ops.mi_trace_environment(&see_color, state, &state->direction);
    if (found && skip_flagged && state->child && state->child->surface_flag)
        return 0;

    const float f = std::fabs(state->facing);
    const float power = *resolve(state, &params->power);
    const int32_t invert = *resolve(state, &params->invert);
    const float facing_term = powf(f, power);
    const float see_weight = invert ? 1.0f - facing_term : facing_term;
    const float surface_weight = invert ? facing_term : 1.0f - facing_term;

    const float weight = *resolve(state, &params->specular_weight);
    const float exponent = *resolve(state, &params->specular_exponent);
    const Color* specular = resolve(state, &params->specular);
    const int32_t mode = *resolve(state, &params->mode);
    int32_t count = *resolve(state, &params->n_light);
    const int32_t first = *resolve(state, &params->i_light);
    Tag* lights = const_cast<Tag*>(resolve(state, &params->light[0])) + first;
    if (mode == QORV_XRAYTEXTURE_LIGHTS_INCLUSIVE)
        host_ops.mi_inclusive_lightlist(&count, &lights, state);
    else if (mode == QORV_XRAYTEXTURE_LIGHTS_EXCLUSIVE)
        host_ops.mi_exclusive_lightlist(&count, &lights, state);

    float hr = 0.0f, hg = 0.0f, hb = 0.0f;
    if (weight > 0.0f) {
        for (int32_t k = 0; k < count; ++k) {
            float sr = 0.0f, sg = 0.0f, sb = 0.0f;
            int32_t sample_count = 0;
            Color light_color;
            Vector3 light_direction;
            float cosine;
            while (host_ops.mi_sample_light(&light_color, &light_direction, &cosine, state,
                                            lights[k], &sample_count)) {
                const float s = host_ops.mi_phong_specular(exponent, state, &light_direction);
                if (s > phong_threshold) {
                    const float sw = s * weight;
                    sr += sw * specular->r * light_color.r;
                    sg += sw * specular->g * light_color.g;
                    sb += sw * specular->b * light_color.b;
                }
            }
            if (sample_count != 0) {
                const float n = static_cast<float>(sample_count);
                hr += sr / n;
                hg += sg / n;
                hb += sb / n;
            }
        }
    }

    result->r = (base.r + hr) * surface_weight + see_weight * see_color.r;
    result->g = (base.g + hg) * surface_weight + see_weight * see_color.g;
    result->b = (base.b + hb) * surface_weight + see_weight * see_color.b;
    result->a = base.a * surface_weight + see_weight * see_color.a;
    return 1;
}
