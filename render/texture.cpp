#include "render/texture.h"

namespace xr {

Color Texture::eval(Vec3 p) const {
    switch (kind) {
    case Kind::constant:
        return a;
    case Kind::checker: {
        // Cells centred on whole coordinates: a wall or floor lying on a whole
        // coordinate then crosses no cell boundary, and rounding cannot flip it.
        const Vec3 q = p * scale + Vec3{0.5f, 0.5f, 0.5f};
        const long cell = long(std::floor(q.x)) + long(std::floor(q.y)) + long(std::floor(q.z));
        return (cell & 1) ? b : a;
    }
    case Kind::stripes:
        return (long(std::floor(dot(p, axis) * scale)) & 1) ? b : a;
    }
    return a;
}

} // namespace xr
