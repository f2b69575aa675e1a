// Triangle meshes in plain arrays, shared with whoever renders them.
#pragma once

#include "render/shareable_allocator.h"
#include "render/util/affine.h"
#include "render/util/vec.h"

#include <cstdint>
#include <vector>

namespace xr {

struct Mesh {
    // The intersector reads positions and indices in place, for as long as it lives.
    std::vector<Vec3, ShareableAllocator<Vec3>> positions;
    std::vector<uint32_t> indices; // three per triangle
    std::vector<Vec3> normals;     // one per position, or none for a faceted surface

    size_t triangles() const { return indices.size() / 3; }
    Bounds bounds() const;
    // The unit geometric normal of a triangle, by its winding; zero for a
    // triangle without area.
    Vec3 face_normal(uint32_t triangle) const;
    // The unit shading normal at barycentric (u, v) of a triangle.
    Vec3 normal(uint32_t triangle, float u, float v) const;
    // The same of the mesh moved by a map whose map of normals is `turn`, as a
    // mapped copy has it: each vertex's normal turned and made unit, then
    // interpolated.
    Vec3 normal(uint32_t triangle, float u, float v, const Linear& turn) const;
    // Gives each vertex whose normal is zero or not a number the mean normal
    // of the faces around it (or one of theirs, where they cancel), once.
    void repair_normals();
};

// A copy of the mesh standing where `map` puts it: positions mapped, normals
// turned by the map's inverse transpose, and the winding reversed by a
// mirroring map so that faces keep their sides.
Mesh mapped(const Mesh& mesh, const Affine& map);

} // namespace xr
