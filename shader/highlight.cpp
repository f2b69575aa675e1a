#include "shader/highlight.h"

#include "shader/resolve_param.h"

namespace {

// Sums one light's contributions over the samples the host gives for it.
void add_light(Highlight& sum, RenderState* state, Tag light, float weight, float exponent,
               const Color* specular) {
    Highlight light_sum = {0.0f, 0.0f, 0.0f};
    int32_t sample_count = 0;
    Color light_color;
    Vector3 light_direction;
    float cosine;
    while (host::mi_sample_light(&light_color, &light_direction, &cosine, state, light,
                                 &sample_count)) {
        const float s = host::mi_phong_specular(exponent, state, &light_direction);
        // A NaN factor fails this test; a sample that adds nothing still counts.
        if (s > phong_threshold) {
            const float sw = s * weight;
            light_sum.r += sw * specular->r * light_color.r;
            light_sum.g += sw * specular->g * light_color.g;
            light_sum.b += sw * specular->b * light_color.b;
        }
    }
    if (sample_count != 0) {
        const float n = static_cast<float>(sample_count);
        sum.r += light_sum.r / n;
        sum.g += light_sum.g / n;
        sum.b += light_sum.b / n;
    }
}

} // namespace

Highlight highlight(RenderState* state, const XrayParams* params) {
    const float weight = *resolve_param(state, &params->specular_weight);
    const float exponent = *resolve_param(state, &params->specular_exponent);
    // Held by address: its components are read where each sample uses them.
    const Color* specular = resolve_param(state, &params->specular);
    const int32_t mode = *resolve_param(state, &params->mode);
    int32_t count = *resolve_param(state, &params->n_light);
    const int32_t first = *resolve_param(state, &params->i_light);
    // The array is connected as a whole, through the link of its first entry.
    Tag* lights = const_cast<Tag*>(resolve_param(state, &params->light[0])) + first;

    if (mode == QORV_XRAYTEXTURE_LIGHTS_INCLUSIVE)
        host::mi_inclusive_lightlist(&count, &lights, state);
    else if (mode == QORV_XRAYTEXTURE_LIGHTS_EXCLUSIVE)
        host::mi_exclusive_lightlist(&count, &lights, state);

    Highlight sum = {0.0f, 0.0f, 0.0f};
    if (!(weight > 0.0f)) // a NaN weight samples nothing
        return sum;
    for (int32_t k = 0; k < count; ++k)
        add_light(sum, state, lights[k], weight, exponent, specular);
    return sum;
}
