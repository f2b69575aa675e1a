// A pinhole camera.
#pragma once

#include "render/vec.h"

namespace xr {

struct Camera {
    Vec3 eye{0.0f, 1.0f, 5.0f};
    Vec3 target{0.0f, 1.0f, 0.0f};
    Vec3 up{0.0f, 1.0f, 0.0f};
    float fov_y = 40.0f; // degrees

    // The unit direction through film position (x, y), in pixels from the top left.
    Vec3 direction(float x, float y, int width, int height) const;
};

} // namespace xr
