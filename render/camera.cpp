#include "render/camera.h"

#include <cmath>

namespace xr {

CameraView::CameraView(const Camera& camera, int width, int height)
    : eye_(camera.eye), width_(float(width)), height_(float(height)) {
    forward_ = normalize(camera.target - camera.eye);
    right_ = normalize(cross(forward_, camera.up));
    upward_ = cross(right_, forward_);
    half_height_ = std::tan(camera.fov_y * 0.5f * 3.14159265f / 180.0f);
    half_width_ = half_height_ * width_ / height_;
}

} // namespace xr
