#include "render/mesh.h"

#include <cmath>

namespace xr {

namespace {

constexpr float pi = 3.14159265358979f;

// A closed surface of revolution parameterised over a (u, v) grid; `at` gives
// the point and outward normal at each grid vertex.
template <typename At> Mesh grid_surface(int nu, int nv, At at) {
    Mesh mesh;
    std::vector<Vec3> normals;
    for (int j = 0; j <= nv; ++j)
        for (int i = 0; i <= nu; ++i) {
            Vec3 p, n;
            at(float(i) / float(nu), float(j) / float(nv), p, n);
            mesh.positions.push_back(p);
            normals.push_back(n);
        }
    auto vertex = [nu](int i, int j) { return uint32_t(j * (nu + 1) + i); };
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) {
            const uint32_t a = vertex(i, j), b = vertex(i + 1, j);
            const uint32_t c = vertex(i + 1, j + 1), d = vertex(i, j + 1);
            mesh.add_triangle(a, b, c, normals[a], normals[b], normals[c]);
            mesh.add_triangle(a, c, d, normals[a], normals[c], normals[d]);
        }
    return mesh;
}

} // namespace

Bounds Mesh::bounds() const {
    Bounds b;
    for (const Vec3& p : positions)
        b.extend(p);
    return b;
}

Vec3 Mesh::normal(uint32_t triangle, float u, float v) const {
    const Vec3* n = &normals[3 * size_t(triangle)];
    return normalize(n[0] * (1.0f - u - v) + n[1] * u + n[2] * v);
}

void Mesh::add_triangle(uint32_t a, uint32_t b, uint32_t c, Vec3 na, Vec3 nb, Vec3 nc) {
    indices.insert(indices.end(), {a, b, c});
    normals.insert(normals.end(), {na, nb, nc});
}

void Mesh::smooth_normals() {
    std::vector<Vec3> vertex_normals(positions.size());
    for (size_t t = 0; t < triangles(); ++t) {
        const uint32_t* v = &indices[3 * t];
        // Unnormalised: larger triangles weigh more.
        const Vec3 n = cross(positions[v[1]] - positions[v[0]], positions[v[2]] - positions[v[0]]);
        for (int k = 0; k < 3; ++k)
            vertex_normals[v[k]] += n;
    }
    normals.resize(indices.size());
    for (size_t i = 0; i < indices.size(); ++i)
        normals[i] = normalize(vertex_normals[indices[i]]);
}

Mesh sphere(Vec3 center, float radius, int segments) {
    return grid_surface(segments, segments / 2, [&](float u, float v, Vec3& p, Vec3& n) {
        const float phi = 2.0f * pi * u, theta = pi * v;
        n = {std::sin(theta) * std::cos(phi), std::cos(theta), -std::sin(theta) * std::sin(phi)};
        p = center + n * radius;
    });
}

Mesh torus(Vec3 center, float major, float minor, int segments) {
    return grid_surface(segments, segments / 2, [&](float u, float v, Vec3& p, Vec3& n) {
        const float phi = 2.0f * pi * u, theta = 2.0f * pi * v;
        const Vec3 ring{std::cos(phi), 0.0f, -std::sin(phi)};
        n = ring * std::cos(theta) + Vec3{0.0f, std::sin(theta), 0.0f};
        p = center + ring * major + n * minor;
    });
}

Mesh box(Vec3 lo, Vec3 hi) {
    Mesh mesh;
    // Each face: outward normal and its two in-plane axes, wound counter-clockwise.
    const Vec3 c = (lo + hi) * 0.5f, h = (hi - lo) * 0.5f;
    const Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int a = 0; a < 3; ++a)
        for (float side : {1.0f, -1.0f}) {
            const Vec3 n = axes[a] * side;
            const Vec3 s = axes[(a + 1) % 3] * side, t = axes[(a + 2) % 3];
            const Vec3 fc = c + n * h[a];
            const float hs = h[(a + 1) % 3], ht = h[(a + 2) % 3];
            const auto base = uint32_t(mesh.positions.size());
            for (Vec3 corner : {fc - s * hs - t * ht, fc + s * hs - t * ht, fc + s * hs + t * ht,
                                fc - s * hs + t * ht})
                mesh.positions.push_back(corner);
            mesh.add_triangle(base, base + 1, base + 2, n, n, n);
            mesh.add_triangle(base, base + 2, base + 3, n, n, n);
        }
    return mesh;
}

Mesh ground(Vec3 center, float half) {
    Mesh mesh;
    const Vec3 up{0, 1, 0};
    mesh.positions = {center + Vec3{-half, 0, half}, center + Vec3{half, 0, half},
                      center + Vec3{half, 0, -half}, center + Vec3{-half, 0, -half}};
    mesh.add_triangle(0, 1, 2, up, up, up);
    mesh.add_triangle(0, 2, 3, up, up, up);
    return mesh;
}

} // namespace xr
