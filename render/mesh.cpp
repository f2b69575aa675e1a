#include "render/mesh.h"

#include <cmath>
#include <utility>

namespace xr {

Bounds Mesh::bounds() const {
    Bounds b;
    for (const Vec3& p : positions)
        b.extend(p);
    return b;
}

Vec3 Mesh::face_normal(uint32_t triangle) const {
    const uint32_t* v = &indices[3 * size_t(triangle)];
    // By reference: copies of the corners went through the stack, where
    // loading them back waited for the stores.
    const Vec3 &a = positions[v[0]], &b = positions[v[1]], &c = positions[v[2]];
    const Vec3 n_float = cross(b - a, c - a);
    const float length2 = dot(n_float, n_float);
    if (length2 > 0.0f && length2 < INFINITY)
        return n_float / std::sqrt(length2);
    // Again in double: in float, the squared length overflows for edges longer
    // than about 1e9, as the studio floor's in a large scene, and underflows
    // for edges shorter than about 1e-10.
    const double u[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
    const double w[3] = {double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z};
    const double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2],
                         u[0] * w[1] - u[1] * w[0]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!(length > 0.0))
        return {};
    return {float(n[0] / length), float(n[1] / length), float(n[2] / length)};
}

Vec3 Mesh::normal(uint32_t triangle, float u, float v) const {
    if (normals.empty())
        return face_normal(triangle);
    const uint32_t* i = &indices[3 * size_t(triangle)];
    return normalize(normals[i[0]] * (1.0f - u - v) + normals[i[1]] * u + normals[i[2]] * v);
}

Vec3 Mesh::normal(uint32_t triangle, float u, float v, const Linear& turn) const {
    if (normals.empty())
        return normalize(turn(face_normal(triangle)));
    const uint32_t* i = &indices[3 * size_t(triangle)];
    const Vec3 n0 = normalize(turn(normals[i[0]])), n1 = normalize(turn(normals[i[1]]));
    const Vec3 n2 = normalize(turn(normals[i[2]]));
    return normalize(n0 * (1.0f - u - v) + n1 * u + n2 * v);
}

void Mesh::repair_normals() {
    std::vector<bool> bad(normals.size());
    bool any = false;
    for (size_t i = 0; i < normals.size(); ++i) {
        bad[i] = !(finite(normals[i]) && dot(normals[i], normals[i]) > 0.0f);
        if (bad[i])
            normals[i] = {}, any = true;
    }
    if (!any)
        return;
    // Faces that cancel out (a sheet shared by both its sides) leave the
    // vertex one of their own normals instead.
    std::vector<Vec3> one_face(normals.size());
    for (uint32_t t = 0; t < triangles(); ++t) {
        const Vec3 n = face_normal(t);
        for (size_t k = 0; k < 3; ++k) {
            const uint32_t i = indices[3 * size_t(t) + k];
            if (bad[i])
                normals[i] += n, one_face[i] = n;
        }
    }
    for (size_t i = 0; i < normals.size(); ++i)
        if (bad[i])
            normals[i] = dot(normals[i], normals[i]) > 0.0f ? normalize(normals[i]) : one_face[i];
}

Mesh mapped(const Mesh& mesh, const Affine& map) {
    Mesh out;
    out.positions.reserve(mesh.positions.size());
    for (const Vec3& p : mesh.positions)
        out.positions.push_back(map.point(p));
    const Linear normals = map.normals();
    out.normals.reserve(mesh.normals.size());
    for (const Vec3& n : mesh.normals)
        out.normals.push_back(normalize(normals(n)));
    out.indices = mesh.indices;
    if (map.linear.determinant() < 0.0f)
        for (size_t t = 0; t < out.indices.size(); t += 3)
            std::swap(out.indices[t + 1], out.indices[t + 2]);
    return out;
}

} // namespace xr
