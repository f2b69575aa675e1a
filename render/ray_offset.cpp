#include "render/ray_offset.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace xr {

namespace {

// Bound on the relative error of n floating-point operations.
constexpr float gamma(int n) {
    constexpr float e = std::numeric_limits<float>::epsilon() * 0.5f;
    return float(n) * e / (1.0f - float(n) * e);
}

Vec3 abs(Vec3 a) {
    return {std::fabs(a.x), std::fabs(a.y), std::fabs(a.z)};
}

// The point at (u, v) of the triangle, and the bound on its error in each coordinate.
Vec3 interpolate(const Mesh& mesh, uint32_t triangle, float u, float v, Vec3& error) {
    const uint32_t* i = &mesh.indices[3 * size_t(triangle)];
    const Vec3 &p0 = mesh.positions[i[0]], &p1 = mesh.positions[i[1]], &p2 = mesh.positions[i[2]];
    const float b0 = 1.0f - u - v;
    error = (abs(p0 * b0) + abs(p1 * u) + abs(p2 * v)) * gamma(7);
    return p0 * b0 + p1 * u + p2 * v;
}

} // namespace

SurfacePoint surface_point(const Mesh& mesh, uint32_t triangle, float u, float v) {
    Vec3 error;
    const Vec3 point = interpolate(mesh, triangle, u, v, error);
    const Vec3 n = mesh.face_normal(triangle);
    return {point, n, dot(abs(n), error)};
}

SurfacePoint surface_point(const Mesh& mesh, const Instance& instance, uint32_t triangle, float u,
                           float v) {
    Vec3 local_error;
    const Vec3 local = interpolate(mesh, triangle, u, v, local_error);
    const Affine& map = instance.to_world;
    const Linear& size = instance.size;
    const Vec3 shift = abs(map.translation);
    const Vec3 point = map.point(local);
    // Each world coordinate is three products and three sums, and carries the
    // local error through the matrix.
    Vec3 error = (size(abs(local)) + shift) * gamma(3) + size(local_error) * (1.0f + gamma(3));
    // A ray leaving the point is taken back into the mesh's space by Embree's
    // inverse of the map, itself rounded (a division and products of products),
    // and then rounded in the mapping: that error, in the mesh's space, is
    // brought back to the world, so that the offset also covers the return.
    error += size(instance.back_size(abs(point) + shift) * gamma(12));
    const Vec3 n = normalize(instance.normals(mesh.face_normal(triangle)));
    return {point, n, dot(abs(n), error)};
}

} // namespace xr
