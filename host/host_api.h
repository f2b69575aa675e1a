// The host renderer as the library sees it: the records it reads and the seven
// operations it calls, laid out as a 64-bit host lays them out.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define QORV_EXPORT __declspec(dllexport)
#else
#define QORV_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

struct Color {
    float r, g, b, a;
};

struct Vector3 {
    float x, y, z;
};

// Identifies a scene element; here always a light.
typedef uint32_t Tag;

// Ray type codes the shader declines.
enum : int32_t {
    ray_shadow = 5,
    ray_displace = 16,
};

// Only the published fields are named; the host owns the bytes between them.
struct ShaderRecord {
    uint8_t host_private0[96];
    int32_t link_offset; // parameter address + link_offset = its connection tag
};

struct RenderState {
    uint8_t host_private0[64];
    int32_t ray_type;
    uint8_t host_private1[2];
    uint8_t surface_flag;
    uint8_t host_private2[37];
    Vector3 direction;
    uint8_t host_private3[112];
    float facing;
    uint8_t host_private4[76];
    const ShaderRecord* shader;
    RenderState* child; // state of the ray last cast from this one; may be null
};

typedef int32_t (*mi_trace_reflection_fn)(Color* result, RenderState* state, Vector3* direction);
typedef int32_t (*mi_trace_environment_fn)(Color* result, RenderState* state, Vector3* direction);
typedef int32_t (*mi_sample_light_fn)(Color* light_color, Vector3* light_direction, float* cosine,
                                      RenderState* state, Tag light, int32_t* sample_count);
typedef int32_t (*mi_inclusive_lightlist_fn)(int32_t* count, Tag** list, RenderState* state);
typedef int32_t (*mi_exclusive_lightlist_fn)(int32_t* count, Tag** list, RenderState* state);
typedef void* (*mi_phen_eval_fn)(RenderState* state, void* param);
typedef float (*mi_phong_specular_fn)(float exponent, RenderState* state, Vector3* light_direction);

} // extern "C"

static_assert(sizeof(Color) == 16 && sizeof(Vector3) == 12 && sizeof(Tag) == 4, "host value types");
static_assert(offsetof(ShaderRecord, link_offset) == 96, "ShaderRecord.link_offset");
static_assert(offsetof(RenderState, ray_type) == 64, "RenderState.ray_type");
static_assert(offsetof(RenderState, surface_flag) == 70, "RenderState.surface_flag");
static_assert(offsetof(RenderState, direction) == 108, "RenderState.direction");
static_assert(offsetof(RenderState, facing) == 232, "RenderState.facing");
static_assert(offsetof(RenderState, shader) == 312, "RenderState.shader");
static_assert(offsetof(RenderState, child) == 320, "RenderState.child");
static_assert(sizeof(RenderState) == 328, "RenderState ends with child");
