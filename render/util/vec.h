// Small single-precision vector algebra for the renderer.
#pragma once

#include <qorv_xraytexture.h>

#include <algorithm>
#include <cmath>

namespace xr {

constexpr float pi = 3.14159265358979f;

// Degrees to radians, multiplied before divided: the order every angle was made in.
inline float radians(float degrees) {
    return degrees * pi / 180.0f;
}

struct Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;

    Vec3() = default;
    constexpr Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    explicit Vec3(const Vector3& v) : x(v.x), y(v.y), z(v.z) {}
    Vector3 vector3() const { return {x, y, z}; }

    float operator[](int i) const { return i == 0 ? x : i == 1 ? y : z; }
};

inline Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator-(Vec3 a) {
    return {-a.x, -a.y, -a.z};
}
inline Vec3 operator*(Vec3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline Vec3 operator*(float s, Vec3 a) {
    return a * s;
}
inline Vec3 operator*(Vec3 a, Vec3 b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}
inline Vec3 operator/(Vec3 a, float s) {
    return a * (1.0f / s);
}
inline Vec3& operator+=(Vec3& a, Vec3 b) {
    return a = a + b;
}

inline float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float length(Vec3 a) {
    return std::sqrt(dot(a, a));
}
inline Vec3 normalize(Vec3 a) {
    const float n = length(a);
    return n > 0.0f ? a / n : a;
}
// False for NaN too.
inline bool finite(Vec3 a) {
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}
// A direction scaled so that its squared length is a normal float: with
// components beyond about 1e19 the square overflows (made unit, the direction
// came out zero), below about 1e-19 it underflows (it stayed as short, or
// seemed zero). Divided by its largest magnitude it keeps its way. Any other
// comes through to the bit, a zero or non-finite one too: no scale mends those.
inline Vec3 in_float_range(Vec3 d) {
    if (std::isnormal(dot(d, d)) || !finite(d))
        return d;
    // Each divided, not multiplied by a reciprocal, which is infinite below 1/FLT_MAX.
    const float largest = std::max({std::abs(d.x), std::abs(d.y), std::abs(d.z)});
    return largest > 0.0f ? Vec3(d.x / largest, d.y / largest, d.z / largest) : d;
}
// The unit vector along a direction given by a user or a shader, whatever its scale.
inline Vec3 unit_direction(Vec3 d) {
    return normalize(in_float_range(d));
}
inline Vec3 min(Vec3 a, Vec3 b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
}
inline Vec3 max(Vec3 a, Vec3 b) {
    return {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
}
inline Vec3 lerp(Vec3 a, Vec3 b, float t) {
    return a + (b - a) * t;
}

inline Color rgba(Vec3 c, float a = 1.0f) {
    return {c.x, c.y, c.z, a};
}
inline Vec3 rgb(const Color& c) {
    return {c.r, c.g, c.b};
}

struct Bounds {
    Vec3 lo{INFINITY, INFINITY, INFINITY};
    Vec3 hi{-INFINITY, -INFINITY, -INFINITY};

    void extend(Vec3 p) {
        lo = min(lo, p);
        hi = max(hi, p);
    }
    void extend(const Bounds& b) {
        lo = min(lo, b.lo);
        hi = max(hi, b.hi);
    }
    bool empty() const { return !(lo.x <= hi.x); }
    Vec3 center() const { return (lo + hi) * 0.5f; }
    float radius() const { return length(hi - lo) * 0.5f; }
};

} // namespace xr
