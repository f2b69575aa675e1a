#include "render/tracer.h"

#include "render/matte.h"

namespace xr {

namespace {

// Surfaces a single ray may look through before the host gives up on it.
constexpr int max_layers = 64;

void enter_surface(ThreadContext& context, HostState& s, const Hit& hit, Vec3 origin,
                   Vec3 direction, int depth, int32_t ray_type) {
    const Object& object = context.scene.objects()[hit.object];
    const Material& material = context.scene.material(object.material);
    Vec3 normal = object.mesh.normal(hit.triangle, hit.u, hit.v);
    const float facing = dot(normal, direction);
    if (facing > 0.0f)
        normal = -normal;

    s.point = (origin + direction * hit.distance).vector3();
    s.normal = normal.vector3();
    s.thread = &context;
    s.material = &material;
    s.depth = depth;
    s.object = hit.object;
    s.distance = hit.distance;
    s.ray_type = ray_type;
    s.surface_flag = object.flagged ? 1 : 0;
    s.direction = direction.vector3();
    s.facing = facing;
    s.shader = shader_record(&material.record);
    s.child = nullptr;
}

bool shade(ThreadContext& context, HostState& s, Color& result) {
    const Material& material = *s.material;
    if (material.kind == Material::Kind::matte) {
        result = shade_matte(context, s);
        return true;
    }
    ++context.stats.shader_calls;
    context.stats.deepest = std::max(context.stats.deepest, s.depth);
    // The block is the host's; the shader only reads it.
    auto* params = const_cast<XrayParams*>(material.block.params());
    return context.shader(&result, render_state(&s), params) != 0;
}

} // namespace

bool trace(ThreadContext& context, Vec3 origin, Vec3 direction, int depth, int32_t ray_type,
           Color& result) {
    HostState& s = context.states[size_t(depth)];
    const float eps = context.scene.epsilon();
    float near = eps;
    for (int layer = 0; layer < max_layers; ++layer) {
        Hit hit;
        ++context.stats.rays;
        if (!context.scene.intersector().intersect(origin, direction, near, INFINITY, hit))
            return false;
        enter_surface(context, s, hit, origin, direction, depth, ray_type);
        if (shade(context, s, result))
            return true;
        near = hit.distance + eps;
    }
    return false;
}

} // namespace xr
