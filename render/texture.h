// Procedural shaders the host evaluates where a parameter is connected to one.
#pragma once

#include "render/util/vec.h"

namespace xr {

struct Texture {
    enum class Kind { constant, checker, stripes };

    Kind kind = Kind::constant;
    Color a = {1.0f, 1.0f, 1.0f, 1.0f};
    Color b = {0.0f, 0.0f, 0.0f, 1.0f};
    float scale = 1.0f;          // cells or stripes per unit length
    Vec3 axis{0.0f, 1.0f, 0.0f}; // across the stripes; its length does not count

    Color eval(Vec3 point) const;
};

} // namespace xr
