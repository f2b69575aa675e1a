#include "render/environment.h"

#include <cmath>

namespace xr {

Color studio_sky(Vec3 d) {
    const Vec3 zenith{0.32f, 0.42f, 0.60f}, horizon{0.78f, 0.80f, 0.83f};
    const Vec3 floor_near{0.42f, 0.40f, 0.38f}, floor_far{0.20f, 0.19f, 0.18f};
    if (d.y >= 0.0f)
        return rgba(lerp(horizon, zenith, std::sqrt(d.y)));
    return rgba(lerp(floor_near, floor_far, std::sqrt(-d.y)));
}

Color Environment::color(Vec3 direction) const {
    switch (background.kind) {
    case Background::Kind::studio:
        return studio_sky(direction);
    case Background::Kind::color:
        return rgba(background.color);
    case Background::Kind::transparent:
        break;
    }
    return {0.0f, 0.0f, 0.0f, 0.0f};
}

Color Environment::behind(const Color& c, Vec3 direction) const {
    if (c.a == 1.0f || background.kind == Background::Kind::transparent)
        return c;
    const Color b = color(direction);
    const float uncovered = 1.0f - c.a;
    return {c.r + uncovered * b.r, c.g + uncovered * b.g, c.b + uncovered * b.b, 1.0f};
}

} // namespace xr
