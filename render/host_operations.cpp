#include "render/host_operations.h"

#include "render/lighting.h"
#include "render/phong.h"
#include "render/ray_offset.h"
#include "render/tracer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

using namespace xr;

namespace {

bool listed(const Tag* list, int32_t count, Tag tag) {
    return std::find(list, list + std::max(count, 0), tag) != list + std::max(count, 0);
}

void replace_list(int32_t* count, Tag** list, std::vector<Tag>& lights) {
    *count = int32_t(lights.size());
    *list = lights.data();
}

// The one of the depth's two light lists that `list` does not point into, emptied:
// a shader may hand back a list it was given, which is read while the new one is built.
std::vector<Tag>& new_light_list(HostState& s, const Tag* list) {
    auto& lists = s.thread->light_lists[size_t(s.depth)];
    const std::less<const Tag*> before;
    const bool in_first =
        !before(list, lists[0].data()) && before(list, lists[0].data() + lists[0].capacity());
    std::vector<Tag>& kept = lists[in_first ? 1 : 0];
    kept.clear();
    return kept;
}

// Hands the shader sample i of the run in hand, the k-th it asks for.
[[gnu::always_inline]] inline int32_t give_sample(ThreadContext& context, int i, int32_t k,
                                                  Color* light_color, Vector3* light_direction,
                                                  float* cosine, int32_t* sample_count) {
    context.light_batch.give(i, context.rng);
    const SampleRun& run = context.light_batch.run();
    const auto at = size_t(i);
    *light_color = {run.color[0][at], run.color[1][at], run.color[2][at], 1.0f};
    *light_direction = {run.direction[0][at], run.direction[1][at], run.direction[2][at]};
    *cosine = run.cosine[at];
    *sample_count = k + 1;
    return 1;
}

// mi_sample_light when the run in hand does not hold the sample: a new run
// from it. Out of line, so that the calls a run answers stay short.
[[gnu::noinline]] int32_t sample_light_anew(Color* light_color, Vector3* light_direction,
                                            float* cosine, HostState& s, Tag tag,
                                            int32_t* sample_count) {
    ThreadContext& context = *s.thread;
    const int32_t k = *sample_count;
    const Light* light = context.scene.light(tag);
    // Negative counts too: they are huge unsigned.
    if (!light || uint32_t(k) >= uint32_t(light->samples()))
        return 0;
    const auto hidden = [&](const LightSample& sample) { return blocked(context, s, sample); };
    context.light_batch.start(s, *light, k, context.rng, hidden);
    return give_sample(context, 0, k, light_color, light_direction, cosine, sample_count);
}

} // namespace

extern "C" {

int32_t mi_trace_reflection(Color* result, RenderState* state, Vector3* direction) {
    HostState* s = host_state(state);
    s->child = nullptr;
    ThreadContext& context = *s->thread;
    // Either way the shader shows the background instead: said at the end.
    if (s->depth >= max_depth) {
        ++context.stats.cut_off;
        return 0;
    }
    if (context.see_through_left == 0) {
        ++context.stats.starved;
        return 0;
    }
    --context.see_through_left;
    const Vec3 dir = unit_direction(Vec3(*direction));
    const Vec3 origin = leaving_origin(*s, dir);
    if (!trace(context, origin, dir, s->depth + 1, ray_see_through, *result))
        return 0;
    s->child = render_state(&context.states[size_t(s->depth + 1)]);
    return 1;
}

int32_t mi_trace_environment(Color* result, RenderState* state, Vector3* direction) {
    *result = host_state(state)->thread->scene.environment.color(unit_direction(Vec3(*direction)));
    return 1;
}

int32_t mi_sample_light(Color* light_color, Vector3* light_direction, float* cosine,
                        RenderState* state, Tag tag, int32_t* sample_count) {
    HostState* s = host_state(state);
    ThreadContext& context = *s->thread;
    const int32_t k = *sample_count;
    // The light and the count need no checking when the run holds the sample.
    const int i = context.light_batch.find(*s, tag, k, context.rng);
    if (i < 0)
        return sample_light_anew(light_color, light_direction, cosine, *s, tag, sample_count);
    return give_sample(context, i, k, light_color, light_direction, cosine, sample_count);
}

int32_t mi_inclusive_lightlist(int32_t* count, Tag** list, RenderState* state) {
    HostState* s = host_state(state);
    std::vector<Tag>& kept = new_light_list(*s, *list);
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
    std::vector<Tag>& kept = new_light_list(*s, *list);
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
    // The sample just given has its factor's cosine worked out with its run.
    float cosine;
    if (!s->thread->light_batch.phong_of_given(*s, *light_direction, cosine)) {
        const Vec3 n(s->normal), l = in_float_range(Vec3(*light_direction)), v(s->direction);
        cosine = phong_cosine(n.x, n.y, n.z, l.x, l.y, l.z, v.x, v.y, v.z);
    }
    return cosine > 0.0f ? std::pow(cosine, exponent) : 0.0f;
}

} // extern "C"
