// Where a model stands: a transform as a matrix that places points and turns normals.
#pragma once

#include "render/setup/scene_description.h"

namespace xr {

class Placement {
  public:
    explicit Placement(const Transform& transform);

    Vec3 point(Vec3 p) const { return rows(p) * scale_ + translate_; }
    // Unit normals stay unit: the scale is uniform.
    Vec3 normal(Vec3 n) const { return rows(n); }

  private:
    Vec3 rows(Vec3 v) const { return {dot(x_, v), dot(y_, v), dot(z_, v)}; }

    Vec3 x_, y_, z_; // rows of the rotation
    float scale_;
    Vec3 translate_;
};

} // namespace xr
