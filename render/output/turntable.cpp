#include "render/output/turntable.h"

#include <cmath>

namespace xr {

Camera turntable_camera(const Camera& camera, int frame, int frames) {
    if (frame == 1)
        return camera; // exactly: target + (eye - target) may round
    // In double, so that the last frames of a long turntable lose nothing.
    const double angle = 2.0 * M_PI * double(frame - 1) / double(frames);
    const float c = float(std::cos(angle)), s = float(std::sin(angle));
    auto turn = [&](Vec3 v) { return Vec3{c * v.x + s * v.z, v.y, c * v.z - s * v.x}; };
    Camera turned = camera;
    turned.eye = camera.target + turn(camera.eye - camera.target);
    // Seen from straight above, the eye stays put: the view turns about it.
    turned.overhead_top = turn(camera.overhead_top);
    return turned;
}

uint32_t frame_seed(uint32_t seed, int frame) {
    return seed + uint32_t(frame - 1);
}

} // namespace xr
