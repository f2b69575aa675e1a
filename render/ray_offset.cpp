#include "render/ray_offset.h"

#include <cmath>
#include <cstdint>
#include <cstring>
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

// std::nextafter(x, INFINITY), without a call into the C library for every ray.
float next_up(float x) {
    if (!(x < INFINITY)) // +inf and NaN
        return x;
    if (x == 0.0f)
        return std::numeric_limits<float>::denorm_min();
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    bits = x > 0.0f ? bits + 1 : bits - 1;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

float away(float x, float direction) {
    if (direction > 0.0f)
        return next_up(x);
    if (direction < 0.0f)
        return -next_up(-x);
    return x;
}

} // namespace

SurfacePoint surface_point(const Mesh& mesh, uint32_t triangle, float u, float v) {
    const uint32_t* i = &mesh.indices[3 * size_t(triangle)];
    const Vec3 p0 = mesh.positions[i[0]], p1 = mesh.positions[i[1]], p2 = mesh.positions[i[2]];
    const float b0 = 1.0f - u - v;
    const Vec3 n = mesh.face_normal(triangle);
    const Vec3 error = (abs(p0 * b0) + abs(p1 * u) + abs(p2 * v)) * gamma(7);
    return {p0 * b0 + p1 * u + p2 * v, n, dot(abs(n), error)};
}

Vec3 offset_origin(Vec3 point, Vec3 n, float offset) {
    const Vec3 shift = n * offset;
    const Vec3 o = point + shift;
    return {away(o.x, shift.x), away(o.y, shift.y), away(o.z, shift.z)};
}

} // namespace xr
