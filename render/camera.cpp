#include "render/camera.h"

#include <cmath>

namespace xr {

CameraView::CameraView(const Camera& camera, int width, int height)
    : eye_(camera.eye), width_(float(width)), height_(float(height)) {
    forward_ = unit_direction(camera.target - camera.eye);
    const Vec3 side = cross(forward_, camera.up);
    right_ = normalize(length(side) > 1e-4f ? side : cross(forward_, camera.overhead_top));
    upward_ = cross(right_, forward_);
    half_height_ = std::tan(radians(camera.fov_y * 0.5f));
    half_width_ = half_height_ * width_ / height_;
}

} // namespace xr
