#include "render/texture.h"

#include <cmath>

namespace xr {

namespace {

// floor(x) as a whole number, for any x: floats beyond 2^24 are all even, so
// clamping there keeps the parity and spares the conversion an overflow; NaN
// takes the lower bound.
long cell_of(float x) {
    constexpr float limit = 1073741824.0f; // 2^30
    return long(std::floor(x > -limit ? (x < limit ? x : limit) : -limit));
}

} // namespace

Color Texture::eval(Vec3 p) const {
    switch (kind) {
    case Kind::constant:
        return a;
    // Cells and stripes centred on whole coordinates: a wall or floor lying on
    // a whole coordinate then crosses no boundary, and rounding cannot flip it.
    case Kind::checker: {
        const Vec3 q = p * scale + Vec3{0.5f, 0.5f, 0.5f};
        const long cell = cell_of(q.x) + cell_of(q.y) + cell_of(q.z);
        return (cell & 1) ? b : a;
    }
    case Kind::stripes:
        return (cell_of(dot(p, axis) * scale + 0.5f) & 1) ? b : a;
    }
    return a;
}

} // namespace xr
