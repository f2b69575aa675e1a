// Triangle meshes, with a normal at every triangle corner so that smooth and
// faceted surfaces share one representation.
#pragma once

#include "render/vec.h"

#include <cstdint>
#include <vector>

namespace xr {

struct Mesh {
    std::vector<Vec3> positions;
    std::vector<uint32_t> indices; // three per triangle
    std::vector<Vec3> normals;     // three per triangle, one per corner

    size_t triangles() const { return indices.size() / 3; }
    Bounds bounds() const;
    // The interpolated unit normal at barycentric (u, v) of a triangle.
    Vec3 normal(uint32_t triangle, float u, float v) const;
    // Appends a triangle whose corners take the given normals.
    void add_triangle(uint32_t a, uint32_t b, uint32_t c, Vec3 na, Vec3 nb, Vec3 nc);
    // Fills in corner normals averaged over the triangles sharing each vertex.
    void smooth_normals();
};

Mesh sphere(Vec3 center, float radius, int segments = 96);
Mesh torus(Vec3 center, float major, float minor, int segments = 128);
Mesh box(Vec3 lo, Vec3 hi);
// An upward-facing square in the plane y = height.
Mesh ground(Vec3 center, float half_size);

} // namespace xr
