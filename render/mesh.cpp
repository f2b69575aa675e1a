#include "render/mesh.h"

namespace xr {

Bounds Mesh::bounds() const {
    Bounds b;
    for (const Vec3& p : positions)
        b.extend(p);
    return b;
}

Vec3 Mesh::face_normal(uint32_t triangle) const {
    const uint32_t* v = &indices[3 * size_t(triangle)];
    return cross(positions[v[1]] - positions[v[0]], positions[v[2]] - positions[v[0]]);
}

Vec3 Mesh::normal(uint32_t triangle, float u, float v) const {
    if (normals.empty())
        return normalize(face_normal(triangle));
    const uint32_t* i = &indices[3 * size_t(triangle)];
    return normalize(normals[i[0]] * (1.0f - u - v) + normals[i[1]] * u + normals[i[2]] * v);
}

} // namespace xr
