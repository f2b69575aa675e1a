// Affine maps of space: where an instance of a shared mesh stands.
#pragma once

#include "render/util/vec.h"

namespace xr {

// A 3x3 matrix by its columns.
struct Linear {
    Vec3 x{1.0f, 0.0f, 0.0f}, y{0.0f, 1.0f, 0.0f}, z{0.0f, 0.0f, 1.0f};

    Vec3 operator()(Vec3 v) const { return x * v.x + y * v.y + z * v.z; }
    // The matrix of the entries' magnitudes, which bounds how errors grow through it.
    Linear magnitudes() const;
    float determinant() const { return dot(x, cross(y, z)); }
    // Zero when the matrix is singular.
    Linear inverse() const;
    Linear transpose() const;
};

// x ↦ linear(x) + translation, twelve floats by columns: the layout Embree
// reads as RTC_FORMAT_FLOAT3X4_COLUMN_MAJOR.
struct Affine {
    Linear linear;
    Vec3 translation;

    Vec3 point(Vec3 p) const { return linear(p) + translation; }
    // The map of normals: the inverse transpose of the linear part, which keeps
    // them perpendicular to the surface under non-uniform scale and turns them
    // with a mirroring one. Unit normals need normalising after it.
    Linear normals() const { return linear.inverse().transpose(); }
    // Whether every entry is finite and the map keeps space three-dimensional.
    bool invertible() const;
};

static_assert(sizeof(Affine) == 12 * sizeof(float), "twelve packed floats");

// `a` after `b`.
Affine operator*(const Affine& a, const Affine& b);

// The bounds of the box's image: its eight corners mapped.
Bounds map_bounds(const Affine& map, const Bounds& box);

} // namespace xr
