// Host operations reached by name at run time. Each wrapper bears its operation's
// name and signature; after the first call it costs one load and one indirect call.
#pragma once

#include "host/host_api.h"

#include <atomic>

namespace host {

// A slot holds any operation's address; the wrapper restores its type.
using HostProc = void (*)(void);

// Slots of the host's shader interface that this library calls; the other
// slots belong to operations it never uses and stay null.
enum HostSlot : int {
    slot_mi_trace_reflection = 86,
    slot_mi_trace_environment = 89,
    slot_mi_sample_light = 104,
    slot_mi_inclusive_lightlist = 112,
    slot_mi_exclusive_lightlist = 113,
    slot_mi_phen_eval = 115,
    slot_mi_phong_specular = 234,
    host_slot_count = 668,
};

struct HostEntryTable {
    std::atomic<HostProc> slot[host_slot_count];
};

static_assert(std::atomic<HostProc>::is_always_lock_free, "slots are read and written whole");
static_assert(sizeof(std::atomic<HostProc>) == sizeof(void*), "slots are pointer-sized");
static_assert(sizeof(HostEntryTable) == 5344, "668 pointer-sized slots");

extern HostEntryTable host_entry_table;

// Looks the name up in the current module and caches the outcome, null included.
// Returns null, after printing why, when the operation cannot be resolved.
HostProc resolve_host_entry(HostSlot slot, const char* name);

template <typename Fn> inline Fn host_entry(HostSlot slot, const char* name) {
    HostProc proc = host_entry_table.slot[slot].load(std::memory_order_acquire);
    if (__builtin_expect(proc == nullptr, 0))
        proc = resolve_host_entry(slot, name);
    return reinterpret_cast<Fn>(proc);
}

// An operation that cannot be resolved is not called; its wrapper returns the
// neutral result (0, 0.0f or null) instead.

inline int32_t mi_trace_reflection(Color* result, RenderState* state, Vector3* direction) {
    auto fn = host_entry<mi_trace_reflection_fn>(slot_mi_trace_reflection, "mi_trace_reflection");
    return fn ? fn(result, state, direction) : 0;
}

inline int32_t mi_trace_environment(Color* result, RenderState* state, Vector3* direction) {
    auto fn =
        host_entry<mi_trace_environment_fn>(slot_mi_trace_environment, "mi_trace_environment");
    return fn ? fn(result, state, direction) : 0;
}

inline int32_t mi_sample_light(Color* light_color, Vector3* light_direction, float* cosine,
                               RenderState* state, Tag light, int32_t* sample_count) {
    auto fn = host_entry<mi_sample_light_fn>(slot_mi_sample_light, "mi_sample_light");
    return fn ? fn(light_color, light_direction, cosine, state, light, sample_count) : 0;
}

inline int32_t mi_inclusive_lightlist(int32_t* count, Tag** list, RenderState* state) {
    auto fn = host_entry<mi_inclusive_lightlist_fn>(slot_mi_inclusive_lightlist,
                                                    "mi_inclusive_lightlist");
    return fn ? fn(count, list, state) : 0;
}

inline int32_t mi_exclusive_lightlist(int32_t* count, Tag** list, RenderState* state) {
    auto fn = host_entry<mi_exclusive_lightlist_fn>(slot_mi_exclusive_lightlist,
                                                    "mi_exclusive_lightlist");
    return fn ? fn(count, list, state) : 0;
}

inline void* mi_phen_eval(RenderState* state, void* param) {
    auto fn = host_entry<mi_phen_eval_fn>(slot_mi_phen_eval, "mi_phen_eval");
    return fn ? fn(state, param) : nullptr;
}

inline float mi_phong_specular(float exponent, RenderState* state, Vector3* light_direction) {
    auto fn = host_entry<mi_phong_specular_fn>(slot_mi_phong_specular, "mi_phong_specular");
    return fn ? fn(exponent, state, light_direction) : 0.0f;
}

} // namespace host

extern "C" QORV_EXPORT void miSetModuleHandle(void* handle);
