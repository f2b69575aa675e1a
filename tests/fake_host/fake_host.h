// A scriptable host module for the tests: it exports the seven host operations,
// answers them from a script and records every call in order. Tests load it as a
// host would and reach its state through `fake_host_state`.
#pragma once

#include <qorv_xraytexture.h>

#include <atomic>
#include <new>

enum class HostOp : int32_t {
    trace_reflection,
    trace_environment,
    sample_light,
    inclusive_lightlist,
    exclusive_lightlist,
    phen_eval,
    phong_specular,
};

// One call as the host saw it. Pointers are the addresses passed; values are
// what they pointed to on entry.
struct HostCall {
    HostOp op;
    RenderState* state;
    const void* address;   // result, light colour, count or parameter address
    const void* direction; // direction passed to the traces, sampling or Phong
    Tag light;             // sample_light's tag
    int32_t count;         // sample counter or light count on entry
    const Tag* list;       // light list on entry
    float exponent;        // mi_phong_specular's exponent
};

struct TraceScript {
    int32_t result = 0;
    int32_t write = 0; // write `color` even when the result is 0
    Color color = {0, 0, 0, 0};
    RenderState* child = nullptr; // set as the caller's child when the result is nonzero
};

// A hook runs instead of the script, e.g. to shade again from inside a trace.
using TraceHook = int32_t (*)(Color* result, RenderState* state, Vector3* direction, void* user);

// Told of every operation as it begins, recorded or not: which module answers
// is the one whose hook runs.
using AnswerHook = void (*)(RenderState* state, void* user);

constexpr int fake_max_samples = 16;

// Each sample writes its colour and a direction that tells mi_phong_specular
// which factor to answer: (light index, sample index, 1).
struct FakeLight {
    Tag tag = 0;
    int32_t samples = 0;
    Color color[fake_max_samples] = {};
    float phong[fake_max_samples] = {};
};

struct LightListScript {
    int32_t replace = 0;
    int32_t count = 0;
    Tag* list = nullptr;
};

struct Connection {
    const void* param = nullptr;
    void* value = nullptr; // what mi_phen_eval answers for `param`
};

struct FakeHost {
    TraceScript reflection;
    TraceScript environment;
    TraceHook reflection_hook = nullptr;
    void* hook_user = nullptr;
    AnswerHook answer_hook = nullptr;
    void* answer_user = nullptr;

    FakeLight lights[8];
    int32_t n_lights = 0;
    LightListScript inclusive;
    LightListScript exclusive;

    Connection connections[16];
    int32_t n_connections = 0;

    int32_t record = 1; // off for stress runs that would overflow the log
    std::atomic<int32_t> n_calls{0};
    HostCall calls[4096];

    int32_t calls_of(HostOp op) const {
        int32_t n = 0;
        for (int32_t i = 0; i < recorded(); ++i)
            n += calls[i].op == op;
        return n;
    }
    int32_t recorded() const {
        const int32_t n = n_calls.load();
        return n < 4096 ? n : 4096;
    }
};

inline void reset(FakeHost& host) {
    host.~FakeHost();
    new (&host) FakeHost();
}

using fake_host_state_fn = FakeHost* (*)(void);
