#include "render/environment.h"

#include <cmath>

namespace xr {

namespace {

Color studio_backdrop(Vec3 d) {
    const Vec3 zenith{0.32f, 0.42f, 0.60f}, horizon{0.78f, 0.80f, 0.83f};
    const Vec3 floor_near{0.42f, 0.40f, 0.38f}, floor_far{0.20f, 0.19f, 0.18f};
    if (d.y >= 0.0f)
        return rgba(lerp(horizon, zenith, std::sqrt(d.y)));
    return rgba(lerp(floor_near, floor_far, std::sqrt(-d.y)));
}

} // namespace

Color Environment::color(Vec3 direction) const {
    return background ? rgba(*background) : studio_backdrop(direction);
}

} // namespace xr
