#include "bench/shading_request.h"

#include "tests/support/platform.h"

#include <cstdio>
#include <cstdlib>

namespace {

void* require(void* address, const char* what) {
    if (!address) {
        std::fprintf(stderr, "bench setup: cannot load %s\n", what);
        std::abort();
    }
    return address;
}

template <typename Fn> Fn symbol(void* module, const char* name) {
    return reinterpret_cast<Fn>(require(platform::module_symbol(module, name), name));
}

Modules load() {
    Modules m;
    m.library = require(platform::open_module(platform::module_path("qorv_xraytexture")),
                        "qorv_xraytexture");
    m.host = require(platform::open_module(platform::module_path("bench_host")), "bench_host");
    m.shade = symbol<qorv_xraytexture_fn>(m.library, "qorv_xraytexture");
    symbol<void (*)(void*)>(m.library, "miSetModuleHandle")(m.host);
#define LOAD_HOST_OP(type, name, slot, parameters, arguments)                                      \
    m.ops.name = symbol<name##_fn>(m.host, #name);
    QORV_XRAYTEXTURE_HOST_OPERATIONS(LOAD_HOST_OP)
#undef LOAD_HOST_OP
    return m;
}

} // namespace

const Modules& modules() {
    static const Modules m = load();
    return m;
}

ShadingRequest::ShadingRequest(int lights, int samples) {
    record.link_offset = BenchBlock::link_offset;
    state.ray_type = 0;
    state.direction = {0.0f, 0.0f, -1.0f};
    state.facing = -0.5f;
    state.shader = &record;

    XrayParams& p = block.params;
    p.color = {1.0f, 0.0f, 0.0f, 1.0f};
    p.power = 2.0f;
    p.specular_weight = 0.5f;
    p.specular_exponent = 10.0f;
    p.specular = {1.0f, 1.0f, 1.0f, 1.0f};
    p.n_light = lights;
    // The light array runs on into more_lights.
    Tag* tags = p.light;
    for (int k = 0; k < lights; ++k)
        tags[k] = static_cast<Tag>(samples);
}
