// The host operations, exported by the fuzz program itself: they answer from
// the scene's script, note what each shader call asked for, and stop at any
// argument the shader should never pass.
#include "tests/fuzz/fuzz_case.h"

// Declared exported; each definition below must match its declaration.
QORV_XRAYTEXTURE_HOST_OPERATIONS(QORV_XRAYTEXTURE_EXPORTED_OPERATION)

namespace {

Level& level_of(RenderState* state) {
    for (Level& level : scene.levels) {
        if (state == &level.state) {
            ++level.host_calls;
            return level;
        }
    }
    fail("a host operation got a render state the host never gave");
}

int32_t trace(const TraceAnswer& answer, bool may_nest, Color* result, RenderState* state,
              Vector3* direction) {
    Level& level = level_of(state);
    if (!result || direction != &state->direction)
        fail("a ray was not cast along the incident direction into a colour");
    ++level.traces;
    const int next = static_cast<int>(&level - scene.levels) + 1;
    int32_t found;
    if (may_nest && answer.nest && next < max_levels) {
        found = shade_and_check(result, next);
        if (found)
            state->child = &scene.levels[next].state;
    } else {
        if (answer.write || answer.result)
            *result = answer.color;
        found = answer.result;
        if (found)
            state->child = answer.has_child ? &level.child : nullptr;
    }
    level.found = found;
    level.see = *result;
    return found;
}

int32_t lightlist(const ListAnswer& answer, int32_t* count, Tag** list, RenderState* state) {
    Level& level = level_of(state);
    if (!count || !list)
        fail("a light list was handed over without its count or list");
    ++level.list_calls;
    if (answer.replace) {
        *count = answer.count;
        *list = answer.list;
    }
    return 1;
}

} // namespace

extern "C" int32_t mi_trace_reflection(Color* result, RenderState* state, Vector3* direction) {
    return trace(scene.reflection, true, result, state, direction);
}

extern "C" int32_t mi_trace_environment(Color* result, RenderState* state, Vector3* direction) {
    return trace(scene.environment, false, result, state, direction);
}

extern "C" int32_t mi_sample_light(Color* light_color, Vector3* light_direction, float* cosine,
                                   RenderState* state, Tag light, int32_t* sample_count) {
    Level& level = level_of(state);
    if (!light_color || !light_direction || !cosine || !sample_count)
        fail("a light was sampled without somewhere to put the sample");
    const int32_t n = *sample_count;
    if (n < 0 || n > max_samples)
        fail("the sample counter was not started at 0");
    if (n == 0 && level.n_sampled < max_sampled)
        level.sampled[level.n_sampled++] = light;
    if (n == max_samples || scene.n_samples == 0)
        return 0;
    const int32_t at = scene.sample_cursor++ % scene.n_samples;
    if (!scene.sample_more[at])
        return 0;
    *light_color = scene.sample_color[at];
    *light_direction = {0.0f, 0.0f, 1.0f};
    *cosine = 1.0f;
    *sample_count = n + 1;
    return 1;
}

extern "C" int32_t mi_inclusive_lightlist(int32_t* count, Tag** list, RenderState* state) {
    return lightlist(scene.inclusive, count, list, state);
}

extern "C" int32_t mi_exclusive_lightlist(int32_t* count, Tag** list, RenderState* state) {
    return lightlist(scene.exclusive, count, list, state);
}

extern "C" void* mi_phen_eval(RenderState* state, void* param) {
    Level& level = level_of(state);
    const uintptr_t at =
        reinterpret_cast<uintptr_t>(param) - reinterpret_cast<uintptr_t>(scene.block);
    const int word = static_cast<int>(at / sizeof(uint32_t));
    if (at % sizeof(uint32_t) != 0 || at / sizeof(uint32_t) > word_light ||
        !(param_words >> word & 1))
        fail("mi_phen_eval got an address that is no parameter of the block");
    if (scene.link_words == 0 || scene.block[word + scene.link_words] == 0)
        fail("a parameter without a connection was evaluated");
    if (level.evaluated >> word & 1)
        fail("a parameter was evaluated twice in one call");
    level.evaluated |= 1u << word;
    return scene.answered >> word & 1 ? scene.values + word : nullptr;
}

extern "C" float mi_phong_specular(float, RenderState* state, Vector3* light_direction) {
    level_of(state);
    if (!light_direction)
        fail("a Phong factor was asked for without a light direction");
    return scene.n_phong ? scene.phong[scene.phong_cursor++ % scene.n_phong] : 0.0f;
}
