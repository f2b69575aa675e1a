#include "shader/highlight.h"
#include "shader/resolve_param.h"

#include <cmath>

extern "C" int32_t qorv_xraytexture_version(void) {
    return QORV_XRAYTEXTURE_VERSION;
}

extern "C" int32_t qorv_xraytexture(Color* result, RenderState* state, XrayParams* params) {
    if (state->ray_type == QORV_XRAYTEXTURE_RAY_SHADOW ||
        state->ray_type == QORV_XRAYTEXTURE_RAY_DISPLACE)
        return 0;

    const int32_t skip_flagged = *resolve_param(state, &params->skip_flagged);
    if (skip_flagged && state->surface_flag)
        return 0;

    Color see_color = {0.0f, 0.0f, 0.0f, 0.0f};
    const Color base = *resolve_param(state, &params->color);
    int32_t found = host::mi_trace_reflection(&see_color, state, &state->direction);
    if (!found)
        found = host::mi_trace_environment(&see_color, state, &state->direction);
    if (found && skip_flagged && state->child && state->child->surface_flag)
        return 0;

    const float f = std::fabs(state->facing);
    const float power = *resolve_param(state, &params->power);
    const int32_t invert = *resolve_param(state, &params->invert);
    const float facing_term = powf(f, power);
    const float see_weight = invert ? 1.0f - facing_term : facing_term;
    const float surface_weight = invert ? facing_term : 1.0f - facing_term;

    const Highlight h = highlight(state, params);
    result->r = (base.r + h.r) * surface_weight + see_weight * see_color.r;
    result->g = (base.g + h.g) * surface_weight + see_weight * see_color.g;
    result->b = (base.b + h.b) * surface_weight + see_weight * see_color.b;
    result->a = base.a * surface_weight + see_weight * see_color.a;
    return 1;
}
