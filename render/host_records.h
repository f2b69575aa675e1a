// The host's own render state and shader record. The published fields sit at
// the offsets every shader expects; the host keeps its private data in the
// bytes between them. Shaders receive these as RenderState and ShaderRecord.
#pragma once

#include <qorv_xraytexture.h>

#include <cstddef>
#include <cstdint>

namespace xr {

class Material;
struct ThreadContext;

// Ray types of this host; 5 and 16 are the published shadow and displacement codes.
enum : int32_t {
    ray_eye = 0,
    ray_see_through = 1,
};

struct HostState {
    Vector3 point;            // hit point
    Vector3 normal;           // unit shading normal, turned towards the incident ray
    Vector3 geometric_normal; // unit normal of the triangle hit, turned likewise
    ThreadContext* thread;    // per-thread scratch of the rendering thread
    const Material* material;
    int32_t depth;   // 0 for surfaces reached by camera rays
    uint32_t object; // the scene's object hit
    int32_t ray_type;
    uint8_t private1[2];
    uint8_t surface_flag;
    uint8_t private2[37];
    Vector3 direction; // unit direction of the incident ray
    // Where rays leaving the point start: on the side the geometric normal
    // points to, and on the other.
    Vector3 leave_along, leave_against;
    uint32_t triangle; // the triangle of `object` hit
    uint8_t private3[84];
    float facing; // cosine of the shading normal and the incident ray
    uint8_t private4[76];
    const ShaderRecord* shader;
    RenderState* child;
};

static_assert(offsetof(HostState, thread) == 40, "four bytes of padding before the pointers");
static_assert(offsetof(HostState, ray_type) == offsetof(RenderState, ray_type), "ray_type");
static_assert(offsetof(HostState, surface_flag) == offsetof(RenderState, surface_flag),
              "surface_flag");
static_assert(offsetof(HostState, direction) == offsetof(RenderState, direction), "direction");
static_assert(offsetof(HostState, facing) == offsetof(RenderState, facing), "facing");
static_assert(offsetof(HostState, shader) == offsetof(RenderState, shader), "shader");
static_assert(offsetof(HostState, child) == offsetof(RenderState, child), "child");
static_assert(sizeof(HostState) == sizeof(RenderState), "a state is a RenderState");

inline RenderState* render_state(HostState* state) {
    return reinterpret_cast<RenderState*>(state);
}
inline HostState* host_state(RenderState* state) {
    return reinterpret_cast<HostState*>(state);
}

struct HostShaderRecord {
    const Material* material;
    uint8_t private0[88];
    int32_t link_offset;
};

static_assert(offsetof(HostShaderRecord, link_offset) == offsetof(ShaderRecord, link_offset),
              "link_offset");

inline const ShaderRecord* shader_record(const HostShaderRecord* record) {
    return reinterpret_cast<const ShaderRecord*>(record);
}
inline const HostShaderRecord* host_record(const ShaderRecord* record) {
    return reinterpret_cast<const HostShaderRecord*>(record);
}

} // namespace xr
