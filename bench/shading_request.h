// What every benchmark shades: the library and the benchmark host loaded as a
// host loads them, and one shading request laid out as a host lays it out.
#pragma once

#include <qorv_xraytexture.h>

// The host operations as plain function pointers, for the baseline and for
// calls that bypass the library.
#define HOST_OP_FIELD(type, name, slot, parameters, arguments) name##_fn name;
struct HostOps {
    QORV_XRAYTEXTURE_HOST_OPERATIONS(HOST_OP_FIELD)
};
#undef HOST_OP_FIELD

// Loads both modules once, hands the host module to the library and resolves
// every operation the library uses; aborts when anything is missing.
struct Modules {
    void* library;
    void* host;
    qorv_xraytexture_fn shade;
    HostOps ops;
};
const Modules& modules();

constexpr int max_lights = 16;

// The block with room for `max_lights` lights. The host keeps a connection tag
// `link_offset` bytes beyond each parameter; all are 0, so every parameter is
// read from the block, on the path a host with unconnected parameters takes.
struct alignas(64) BenchBlock {
    static constexpr int32_t link_offset = 128;

    XrayParams params{};
    Tag more_lights[max_lights - 1]{};
    unsigned char connection_tags[128]{};
};
static_assert(offsetof(BenchBlock, connection_tags) == BenchBlock::link_offset,
              "connection tags mirror the block");

// One request: `lights` lights of `samples` samples each, every sample above
// the Phong threshold; the see-through ray always finds something.
struct ShadingRequest {
    ShadingRequest(int lights, int samples);
    ShadingRequest(const ShadingRequest&) = delete;
    ShadingRequest& operator=(const ShadingRequest&) = delete;

    ShaderRecord record{};
    RenderState state{};
    BenchBlock block;
    Color result{};
};
