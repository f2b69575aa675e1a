#include "render/tracer.h"

#include "render/matte.h"
#include "render/ray_offset.h"

#include <cmath>

namespace xr {

namespace {

// Surfaces a single ray may look through before the host gives up on it.
// Each layer starts the ray beyond the surface it met, and a surface met again
// through rounding is passed over (trace); the bound only stops a ray
// that rounding could trap between surfaces, and lies far beyond any model's
// depth (a finned or many-part model easily puts a hundred surfaces behind
// one another).
constexpr int max_layers = 1 << 16;

void enter_surface(ThreadContext& context, HostState& s, const Hit& hit, Vec3 direction, int depth,
                   int32_t ray_type) {
    const Object& object = context.scene.objects()[hit.object];
    // An instance's mesh is in its own space: its point and normals are
    // brought into the world (normals by the inverse transpose, so that they
    // stay perpendicular under non-uniform scale), and everything below, the
    // shader's inputs and the origins of leaving rays, is in world space alike.
    const SurfacePoint at =
        object.instance ? surface_point(*object.mesh, *object.instance, hit.triangle, hit.u, hit.v)
                        : surface_point(*object.mesh, hit.triangle, hit.u, hit.v);
    // Both normals face the incoming ray; the shading normal shades, the
    // geometric one decides where rays leaving the surface start. A faceted
    // mesh shades with the face's normal, which the point already has.
    Vec3 normal = object.mesh->normals.empty() ? at.geometric_normal
                  : object.instance
                      ? object.mesh->normal(hit.triangle, hit.u, hit.v, object.instance->normals)
                      : object.mesh->normal(hit.triangle, hit.u, hit.v);
    const float facing = dot(normal, direction);
    if (facing > 0.0f)
        normal = -normal;
    const Vec3 geometric =
        dot(at.geometric_normal, direction) > 0.0f ? -at.geometric_normal : at.geometric_normal;

    context.light_batch.forget(s);
    s.point = at.point.vector3();
    s.normal = normal.vector3();
    s.geometric_normal = geometric.vector3();
    const LeavingOrigins leave = leaving_origins(at.point, geometric, at.offset);
    s.leave_along = leave.along.vector3();
    s.leave_against = leave.against.vector3();
    s.thread = &context;
    s.material = object.material;
    s.depth = depth;
    s.object = hit.object;
    s.triangle = hit.triangle;
    s.ray_type = ray_type;
    s.surface_flag = object.flagged ? 1 : 0;
    s.direction = direction.vector3();
    s.facing = facing;
    s.shader = object.material->record();
    s.child = nullptr;
}

bool shade(ThreadContext& context, HostState& s, Color& result) {
    const Material& material = *s.material;
    if (material.kind() == Material::Kind::matte) {
        result = shade_matte(context, s);
        return true;
    }
    ++context.stats.shader_calls;
    context.stats.deepest = std::max(context.stats.deepest, s.depth);
    // The block is the host's; the shader only reads it.
    auto* params = const_cast<XrayParams*>(material.block().params());
    return context.shader(&result, render_state(&s), params) != 0;
}

} // namespace

bool trace(ThreadContext& context, Vec3 origin, Vec3 direction, int depth, int32_t ray_type,
           Color& result) {
    HostState& s = context.states[size_t(depth)];
    // The surface the ray leaves: the caller's, then each looked through.
    const HostState* left = depth > 0 ? &context.states[size_t(depth - 1)] : nullptr;
    float near = 0.0f;
    for (int layer = 0; layer < max_layers; ++layer) {
        Hit hit;
        context.count_ray(depth == 0 && layer == 0 ? RayKind::camera : RayKind::see_through, origin,
                          direction, near, INFINITY);
        if (!context.scene.intersector().intersect(origin, direction, near, INFINITY, hit))
            return false;
        // A ray leaving a flat triangle cannot meet it again; where Embree's
        // rounding, larger than the point's, finds it anyway (a point near
        // the origin on a triangle far larger than its coordinates), the ray
        // goes on beyond that hit, where it would meet it at every depth.
        if (left && hit.object == left->object && hit.triangle == left->triangle) {
            near = std::nextafter(hit.t, INFINITY);
            continue;
        }
        near = 0.0f;
        enter_surface(context, s, hit, direction, depth, ray_type);
        if (shade(context, s, result))
            return true;
        // Looked through: go on from just beyond the surface.
        origin = leaving_origin(s, direction);
        left = &s;
    }
    return false;
}

} // namespace xr
