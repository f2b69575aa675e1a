#include "render/host_operations.h"

#include "render/lighting.h"
#include "render/ray_offset.h"
#include "render/tracer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace xr;

namespace {

bool listed(const Tag* list, int32_t count, Tag tag) {
    return std::find(list, list + std::max(count, 0), tag) != list + std::max(count, 0);
}

void replace_list(int32_t* count, Tag** list, std::vector<Tag>& lights) {
    *count = int32_t(lights.size());
    *list = lights.data();
}

} // namespace

extern "C" {

int32_t mi_trace_reflection(Color* result, RenderState* state, Vector3* direction) {
    HostState* s = host_state(state);
    s->child = nullptr;
    if (s->depth >= max_depth)
        return 0;
    ThreadContext& context = *s->thread;
    const Vec3 dir = normalize(Vec3(*direction));
    const Vec3 origin = leaving_origin(*s, dir);
    if (!trace(context, origin, dir, s->depth + 1, ray_see_through, *result))
        return 0;
    s->child = render_state(&context.states[size_t(s->depth + 1)]);
    return 1;
}

int32_t mi_trace_environment(Color* result, RenderState* state, Vector3* direction) {
    *result = host_state(state)->thread->scene.environment.color(normalize(Vec3(*direction)));
    return 1;
}

int32_t mi_sample_light(Color* light_color, Vector3* light_direction, float* cosine,
                        RenderState* state, Tag tag, int32_t* sample_count) {
    HostState* s = host_state(state);
    ThreadContext& context = *s->thread;
    const int32_t k = *sample_count;
    LightSample sample;
    float c;
    // The light and the count need no checking when the run holds the sample.
    if (!context.light_batch.answer(*s, tag, k, context.rng, sample, c)) {
        const Light* light = context.scene.light(tag);
        // Negative counts too: they are huge unsigned.
        if (!light || uint32_t(k) >= uint32_t(light->samples()))
            return 0;
        const auto hidden = [&](const LightSample& candidate) {
            return blocked(context, *s, candidate);
        };
        context.light_batch.answer_anew(*s, *light, k, context.rng, hidden, sample, c);
    }
    *light_color = rgba(sample.color);
    *light_direction = sample.direction.vector3();
    *cosine = c;
    *sample_count = k + 1;
    return 1;
}

int32_t mi_inclusive_lightlist(int32_t* count, Tag** list, RenderState* state) {
    HostState* s = host_state(state);
    std::vector<Tag>& kept = s->thread->light_lists[size_t(s->depth)];
    kept.clear();
    // Each scene light once, in the order listed; capacity is the scene's light count.
    for (int32_t i = 0; i < *count; ++i)
        if (s->thread->scene.light((*list)[i]) &&
            !listed(kept.data(), int32_t(kept.size()), (*list)[i]))
            kept.push_back((*list)[i]);
    replace_list(count, list, kept);
    return 1;
}

int32_t mi_exclusive_lightlist(int32_t* count, Tag** list, RenderState* state) {
    HostState* s = host_state(state);
    std::vector<Tag>& kept = s->thread->light_lists[size_t(s->depth)];
    kept.clear();
    for (const Light& light : s->thread->scene.lights())
        if (!listed(*list, *count, light.tag))
            kept.push_back(light.tag);
    replace_list(count, list, kept);
    return 1;
}

void* mi_phen_eval(RenderState* state, void* param) {
    HostState* s = host_state(state);
    // The parameter belongs to the block of the shader now running.
    const Material& material = *host_record(s->shader)->material;
    if (material.kind() != Material::Kind::xray)
        return nullptr;
    const XrayBlock& block = material.block();
    const int32_t offset = block.offset_of(param);
    if (offset < 0)
        return nullptr;
    const Texture* texture = s->thread->scene.texture(block.connection(offset));
    const ShaderDeclaration& declaration = xray_declaration();
    const int index = declaration.at_offset(uint32_t(offset));
    if (!texture || index < 0)
        return nullptr;
    const ParamType type = declaration.params[size_t(index)].type;
    if (type == ParamType::light_array)
        return nullptr;

    // Each parameter has its own slot, so values resolved earlier in the call stay put.
    void* value = s->thread->param_values[size_t(s->depth)].data() + offset / 4;
    const Color c = texture->eval(Vec3(s->point));
    if (type == ParamType::color) {
        std::memcpy(value, &c, sizeof c);
    } else if (type == ParamType::scalar) {
        std::memcpy(value, &c.r, sizeof c.r);
    } else {
        const int32_t i = int32_t(std::lround(c.r));
        std::memcpy(value, &i, sizeof i);
    }
    return value;
}

float mi_phong_specular(float exponent, RenderState* state, Vector3* light_direction) {
    const HostState* s = host_state(state);
    // A vector of squared length exactly 1, as two in five light samples are,
    // normalises to itself: no square root and division for those.
    Vec3 l(*light_direction);
    if (dot(l, l) != 1.0f)
        l = normalize(l);
    const Vec3 n(s->normal);
    const float cos_light = dot(n, l);
    if (cos_light <= 0.0f)
        return 0.0f;
    const Vec3 reflected = n * (2.0f * cos_light) - l;
    // The cosine with the way back to the viewer, -direction: negating the
    // sum rather than each term gives the same float, a zero's sign aside.
    const float cos_view = -dot(reflected, Vec3(s->direction));
    return cos_view > 0.0f ? std::pow(cos_view, exponent) : 0.0f;
}

} // extern "C"
