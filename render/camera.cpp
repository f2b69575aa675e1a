#include "render/camera.h"

#include <cmath>

namespace xr {

Vec3 Camera::direction(float x, float y, int width, int height) const {
    const Vec3 forward = normalize(target - eye);
    // Looking straight along `up`, the view's top points along -z instead.
    const Vec3 side = cross(forward, up);
    const Vec3 right =
        normalize(length(side) > 1e-4f ? side : cross(forward, Vec3{0.0f, 0.0f, -1.0f}));
    const Vec3 upward = cross(right, forward);
    const float half_height = std::tan(fov_y * 0.5f * 3.14159265f / 180.0f);
    const float half_width = half_height * float(width) / float(height);
    const float sx = (2.0f * x / float(width) - 1.0f) * half_width;
    const float sy = (1.0f - 2.0f * y / float(height)) * half_height;
    return normalize(forward + right * sx + upward * sy);
}

} // namespace xr
