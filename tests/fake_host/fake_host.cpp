#include "tests/fake_host/fake_host.h"

// Declared exported, as a host's README says: the declarations give the plain
// names the library looks for, and each definition below, with C linkage too,
// must match its declaration.
QORV_XRAYTEXTURE_HOST_OPERATIONS(QORV_XRAYTEXTURE_EXPORTED_OPERATION)
extern "C" QORV_XRAYTEXTURE_EXPORT FakeHost* fake_host_state(void);

namespace {

FakeHost host;

void log_call(const HostCall& call) {
    if (host.answer_hook)
        host.answer_hook(call.state, host.answer_user);
    if (!host.record)
        return;
    const int32_t i = host.n_calls.fetch_add(1);
    if (i < 4096)
        host.calls[i] = call;
}

int32_t trace(HostOp op, const TraceScript& script, Color* result, RenderState* state,
              Vector3* direction) {
    log_call({op, state, result, direction, 0, 0, nullptr, 0.0f});
    if (script.write || script.result)
        *result = script.color;
    if (script.result)
        state->child = script.child;
    return script.result;
}

const FakeLight* find_light(Tag tag, int32_t* index) {
    for (int32_t i = 0; i < host.n_lights; ++i) {
        if (host.lights[i].tag == tag) {
            *index = i;
            return &host.lights[i];
        }
    }
    return nullptr;
}

int32_t lightlist(HostOp op, const LightListScript& script, int32_t* count, Tag** list,
                  RenderState* state) {
    log_call({op, state, count, nullptr, 0, *count, *list, 0.0f});
    if (script.replace) {
        *count = script.count;
        *list = script.list;
    }
    return 1;
}

} // namespace

extern "C" FakeHost* fake_host_state(void) {
    return &host;
}

// A variant of this module is built without one of these names, to show how
// the library copes with a host that lacks an operation.
extern "C" {

int32_t mi_trace_reflection(Color* result, RenderState* state, Vector3* direction) {
    if (host.reflection_hook) {
        log_call({HostOp::trace_reflection, state, result, direction, 0, 0, nullptr, 0.0f});
        return host.reflection_hook(result, state, direction, host.hook_user);
    }
    return trace(HostOp::trace_reflection, host.reflection, result, state, direction);
}

int32_t mi_trace_environment(Color* result, RenderState* state, Vector3* direction) {
    return trace(HostOp::trace_environment, host.environment, result, state, direction);
}

int32_t mi_sample_light(Color* light_color, Vector3* light_direction, float* cosine,
                        RenderState* state, Tag light, int32_t* sample_count) {
    log_call({HostOp::sample_light, state, light_color, light_direction, light, *sample_count,
              nullptr, 0.0f});
    int32_t index = 0;
    const FakeLight* l = find_light(light, &index);
    const int32_t n = *sample_count;
    if (!l || n >= l->samples || n >= fake_max_samples)
        return 0;
    *light_color = l->color[n];
    *light_direction = {static_cast<float>(index), static_cast<float>(n), 1.0f};
    *cosine = 1.0f;
    *sample_count = n + 1;
    return 1;
}

int32_t mi_inclusive_lightlist(int32_t* count, Tag** list, RenderState* state) {
    return lightlist(HostOp::inclusive_lightlist, host.inclusive, count, list, state);
}

int32_t mi_exclusive_lightlist(int32_t* count, Tag** list, RenderState* state) {
    return lightlist(HostOp::exclusive_lightlist, host.exclusive, count, list, state);
}

void* mi_phen_eval(RenderState* state, void* param) {
    log_call({HostOp::phen_eval, state, param, nullptr, 0, 0, nullptr, 0.0f});
    for (int32_t i = 0; i < host.n_connections; ++i)
        if (host.connections[i].param == param)
            return host.connections[i].value;
    return nullptr;
}

float mi_phong_specular(float exponent, RenderState* state, Vector3* light_direction) {
    log_call({HostOp::phong_specular, state, nullptr, light_direction, 0, 0, nullptr, exponent});
    const int32_t light = static_cast<int32_t>(light_direction->x);
    const int32_t sample = static_cast<int32_t>(light_direction->y);
    if (light < 0 || light >= host.n_lights || sample < 0 || sample >= fake_max_samples)
        return 0.0f;
    return host.lights[light].phong[sample];
}

} // extern "C"
