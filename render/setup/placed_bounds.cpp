#include "render/setup/placed_bounds.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace xr {

namespace {

// Vertices a run holds: a mesh's vertices follow its surface, so that a run
// of them stays in a small box.
constexpr size_t run_vertices = 16;

Vec3 abs(Vec3 a) {
    return {std::fabs(a.x), std::fabs(a.y), std::fabs(a.z)};
}

float coordinate(Vec3 v, int axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

// The point's place along a Z-order curve through the box, ten bits an axis.
uint32_t z_order(Vec3 p, const Bounds& box) {
    const Vec3 extent = box.hi - box.lo;
    uint32_t code = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const float span = coordinate(extent, axis);
        const float at =
            span > 0.0f ? (coordinate(p, axis) - coordinate(box.lo, axis)) / span : 0.0f;
        const auto cell = uint32_t(std::clamp(at, 0.0f, 1.0f) * 1023.0f);
        for (int bit = 0; bit < 10; ++bit)
            code |= ((cell >> bit) & 1u) << (3 * bit + axis);
    }
    return code;
}

} // namespace

const PlacedBounds::Tree& PlacedBounds::tree(const Mesh& mesh) {
    auto [at, added] = trees_.try_emplace(&mesh);
    Tree& tree = at->second;
    const auto& positions = mesh.positions;
    if (!added || positions.empty())
        return tree;
    const Bounds all = mesh.bounds();
    std::vector<std::pair<uint32_t, uint32_t>> codes;
    codes.reserve(positions.size());
    for (size_t i = 0; i < positions.size(); ++i)
        codes.push_back({z_order(positions[i], all), uint32_t(i)});
    std::sort(codes.begin(), codes.end());
    for (const auto& code : codes)
        tree.order.push_back(code.second);
    auto box = [](const Bounds& b) { return Box{b.center(), (b.hi - b.lo) * 0.5f}; };
    auto bounds = [](const Box& b) { return Bounds{b.center - b.half, b.center + b.half}; };
    tree.levels.emplace_back();
    for (size_t first = 0; first < positions.size(); first += run_vertices) {
        Bounds b;
        for (size_t i = first; i < std::min(first + run_vertices, positions.size()); ++i)
            b.extend(positions[tree.order[i]]);
        tree.levels.back().push_back(box(b));
    }
    while (tree.levels.back().size() > 1) {
        const std::vector<Box>& below = tree.levels.back();
        std::vector<Box> above;
        for (size_t i = 0; i < below.size(); i += 2) {
            Bounds b = bounds(below[i]);
            if (i + 1 < below.size())
                b.extend(bounds(below[i + 1]));
            above.push_back(box(b));
        }
        tree.levels.push_back(std::move(above));
    }
    return tree;
}

Bounds PlacedBounds::operator()(const Mesh& mesh, const Affine& map) {
    std::array<float, 12> key;
    std::memcpy(key.data(), &map, sizeof key);
    auto [at, added] = placed_.try_emplace({&mesh, key});
    Bounds& placed = at->second;
    if (!added)
        return placed;
    const Tree& tree = this->tree(mesh);
    const std::vector<std::vector<Box>>& boxes = tree.levels;
    if (boxes.empty())
        return placed;
    // Each vertex is mapped as a mapped copy maps it, but only those of runs
    // whose boxes, mapped and widened by more than the rounding of either
    // mapping, reach past the bounds found so far: for each side of the
    // bounds, the boxes are searched from the one around all, the nearer
    // half first.
    const Linear rows = map.linear.transpose();
    const Vec3 shift = abs(map.translation);
    auto reach = [&](const Box& b, int axis, float side) {
        const Vec3 row = axis == 0 ? rows.x : axis == 1 ? rows.y : rows.z;
        const Vec3 size = abs(row);
        const float t = coordinate(map.translation, axis);
        const float slack = (dot(size, abs(b.center) + b.half) + coordinate(shift, axis)) * 1e-6f;
        return side * (dot(row, b.center) + t) + dot(size, b.half) + slack;
    };
    auto found = [&](int axis, float side) {
        return side * coordinate(side > 0.0f ? placed.hi : placed.lo, axis);
    };
    std::vector<std::pair<size_t, size_t>> stack; // (level, box)
    std::vector<bool> taken(boxes[0].size());
    for (int axis = 0; axis < 3; ++axis)
        for (float side : {-1.0f, 1.0f}) {
            stack.push_back({boxes.size() - 1, 0});
            while (!stack.empty()) {
                const auto [level, i] = stack.back();
                stack.pop_back();
                if (!(reach(boxes[level][i], axis, side) > found(axis, side)))
                    continue;
                if (level == 0) {
                    if (taken[i])
                        continue;
                    taken[i] = true;
                    const size_t first = i * run_vertices;
                    for (size_t v = first; v < std::min(first + run_vertices, tree.order.size());
                         ++v)
                        placed.extend(map.point(mesh.positions[tree.order[v]]));
                    continue;
                }
                const size_t a = 2 * i, b = 2 * i + 1;
                if (b >= boxes[level - 1].size()) {
                    stack.push_back({level - 1, a});
                    continue;
                }
                // The farther-reaching one last, to be searched first.
                const bool a_first =
                    reach(boxes[level - 1][a], axis, side) > reach(boxes[level - 1][b], axis, side);
                stack.push_back({level - 1, a_first ? b : a});
                stack.push_back({level - 1, a_first ? a : b});
            }
        }
    return placed;
}

} // namespace xr
