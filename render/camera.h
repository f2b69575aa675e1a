// A pinhole camera.
#pragma once

#include "render/util/vec.h"

namespace xr {

// The vertical field of view, in degrees, of a camera nobody set one for.
constexpr float default_fov = 35.0f;

struct Camera {
    Vec3 eye{0.0f, 1.0f, 5.0f};
    Vec3 target{0.0f, 1.0f, 0.0f};
    Vec3 up{0.0f, 1.0f, 0.0f};
    // Where the view's top points when it looks straight along `up`, which
    // then cannot say; a turntable turns it with the eye.
    Vec3 overhead_top{0.0f, 0.0f, -1.0f};
    float fov_y = default_fov; // degrees
};

// The camera looking through an image of width x height pixels: what all its
// rays share, worked out once for a render.
class CameraView {
  public:
    CameraView(const Camera& camera, int width, int height);

    Vec3 eye() const { return eye_; }
    // False when the eye or the view's axes are not finite, as for an eye and
    // target too far apart for single precision.
    bool well_defined() const {
        return finite(eye_) && finite(forward_) && finite(right_) && finite(upward_) &&
               length(forward_) > 0.5f;
    }
    // The unit direction through film position (x, y), in pixels from the top left.
    Vec3 direction(float x, float y) const {
        const float sx = (2.0f * x / width_ - 1.0f) * half_width_;
        const float sy = (1.0f - 2.0f * y / height_) * half_height_;
        return normalize(forward_ + right_ * sx + upward_ * sy);
    }

  private:
    Vec3 eye_, forward_, right_, upward_;
    float width_, height_;
    float half_width_, half_height_; // of the image plane at distance 1
};

} // namespace xr
