#include "render/setup/shapes.h"

#include <cmath>

namespace xr {

namespace {

// A closed surface parameterised over a (u, v) grid; `at` gives the point and
// outward normal at each grid vertex.
template <typename At> Mesh grid_surface(int nu, int nv, At at) {
    Mesh mesh;
    const size_t vertices = size_t(nu + 1) * size_t(nv + 1);
    mesh.positions.reserve(vertices);
    mesh.normals.reserve(vertices);
    mesh.indices.reserve(size_t(6) * size_t(nu) * size_t(nv));
    for (int j = 0; j <= nv; ++j)
        for (int i = 0; i <= nu; ++i) {
            Vec3 p, n;
            at(float(i) / float(nu), float(j) / float(nv), p, n);
            mesh.positions.push_back(p);
            mesh.normals.push_back(n);
        }
    auto vertex = [nu](int i, int j) { return uint32_t(j * (nu + 1) + i); };
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) {
            const uint32_t a = vertex(i, j), b = vertex(i + 1, j);
            const uint32_t c = vertex(i + 1, j + 1), d = vertex(i, j + 1);
            mesh.indices.insert(mesh.indices.end(), {a, b, c, a, c, d});
        }
    return mesh;
}

// Four corners sharing the normal `n`, as two triangles wound counter-clockwise.
void add_quad(Mesh& mesh, const Vec3 (&corners)[4], Vec3 n) {
    const auto base = uint32_t(mesh.positions.size());
    for (const Vec3& corner : corners) {
        mesh.positions.push_back(corner);
        mesh.normals.push_back(n);
    }
    mesh.indices.insert(mesh.indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
}

} // namespace

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
    // Each face: outward normal and its two in-plane axes.
    const Vec3 c = (lo + hi) * 0.5f, h = (hi - lo) * 0.5f;
    const Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int a = 0; a < 3; ++a)
        for (float side : {1.0f, -1.0f}) {
            const Vec3 n = axes[a] * side;
            const Vec3 s = axes[(a + 1) % 3] * side, t = axes[(a + 2) % 3];
            const Vec3 fc = c + n * h[a];
            const float hs = h[(a + 1) % 3], ht = h[(a + 2) % 3];
            add_quad(mesh,
                     {fc - s * hs - t * ht, fc + s * hs - t * ht, fc + s * hs + t * ht,
                      fc - s * hs + t * ht},
                     n);
        }
    return mesh;
}

Mesh ground(Vec3 center, float half) {
    Mesh mesh;
    add_quad(mesh,
             {center + Vec3{-half, 0, half}, center + Vec3{half, 0, half},
              center + Vec3{half, 0, -half}, center + Vec3{-half, 0, -half}},
             {0, 1, 0});
    return mesh;
}

} // namespace xr
