// Where a model stands: a transform as a matrix that places points and turns normals.
#pragma once

#include "render/setup/scene_description.h"
#include "render/util/affine.h"

#include <string>

namespace xr {

class Placement {
  public:
    explicit Placement(const Transform& transform);

    Vec3 point(Vec3 p) const { return rows(p) * scale_ + translate_; }
    // The same as a map, for composing with the places a file gives its parts.
    Affine affine() const;
    // Unit normals stay unit: the scale is uniform.
    Vec3 normal(Vec3 n) const { return rows(n); }

  private:
    Vec3 rows(Vec3 v) const { return {dot(x_, v), dot(y_, v), dot(z_, v)}; }

    Vec3 x_, y_, z_; // rows of the rotation
    float scale_;
    Vec3 translate_;
};

// Throws std::runtime_error, naming `model`, when a vertex once placed lies
// beyond max_coordinate or is not a finite number.
void check_placed_vertex(Vec3 p, const std::string& model);

// A point, or a column of a map, given in double precision as OpenCASCADE
// gives them, in single precision; throws as check_placed_vertex for a value
// that a float could not hold within max_coordinate.
Vec3 checked_vec3(double x, double y, double z, const std::string& model);

// The same for an instance of a mesh of those bounds, whose own vertices were
// checked: the corners of its placed bounds bound every vertex.
void check_placed_instance(const Bounds& mesh, const Affine& to_world, const std::string& model);

// Whether a use of a shared mesh may stand where `to_world` puts it as an
// instance: the map invertible, and its inverse small enough to take any ray
// the renderer traces into the mesh's space within what Embree accepts there.
// A use that flattens space, or nearly, is copied into place instead.
bool instanceable(const Affine& to_world);

} // namespace xr
