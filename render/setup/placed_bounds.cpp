#include "render/setup/placed_bounds.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace xr {

namespace {

// Vertices a run holds: a mesh's vertices follow its surface, so that a run
// of them stays in a small box.
constexpr size_t run_vertices = 16;

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
    tree.levels.emplace_back();
    for (size_t first = 0; first < positions.size(); first += run_vertices) {
        Bounds b;
        for (size_t i = first; i < std::min(first + run_vertices, positions.size()); ++i)
            b.extend(positions[tree.order[i]]);
        tree.levels.back().push_back(b);
    }
    while (tree.levels.back().size() > 1) {
        const std::vector<Bounds>& below = tree.levels.back();
        std::vector<Bounds> above;
        for (size_t i = 0; i < below.size(); i += 2) {
            Bounds b = below[i];
            if (i + 1 < below.size())
                b.extend(below[i + 1]);
            above.push_back(b);
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
    const std::vector<std::vector<Bounds>>& boxes = tree.levels;
    if (boxes.empty())
        return placed;
    // Each vertex is mapped as a mapped copy maps it, but only those of runs
    // whose bounds, mapped and widened by more than the rounding of either
    // mapping, reach past the bounds found so far: for each side of the
    // bounds, the tree is searched from its root, the farther-reaching half
    // first.
    const Linear rows = map.linear.transpose();
    auto reach = [&](const Bounds& b, int axis, float side) {
        const Vec3 row = axis == 0 ? rows.x : axis == 1 ? rows.y : rows.z;
        const float t = coordinate(map.translation, axis);
        float far = side * t, size = std::fabs(t);
        for (int j = 0; j < 3; ++j) {
            const float r = coordinate(row, j), lo = coordinate(b.lo, j), hi = coordinate(b.hi, j);
            far += std::max(side * r * lo, side * r * hi);
            size += std::fabs(r) * std::max(std::fabs(lo), std::fabs(hi));
        }
        return far + size * 1e-6f;
    };
    auto found = [&](int axis, float side) {
        return side * coordinate(side > 0.0f ? placed.hi : placed.lo, axis);
    };
    struct Step {
        size_t level, box;
        float reach;
    };
    std::vector<Step> stack;
    std::vector<bool> taken(boxes[0].size());
    for (int axis = 0; axis < 3; ++axis)
        for (float side : {-1.0f, 1.0f}) {
            const size_t top = boxes.size() - 1;
            stack.push_back({top, 0, reach(boxes[top][0], axis, side)});
            while (!stack.empty()) {
                const Step step = stack.back();
                stack.pop_back();
                if (!(step.reach > found(axis, side)))
                    continue;
                if (step.level == 0) {
                    if (taken[step.box])
                        continue;
                    taken[step.box] = true;
                    const size_t first = step.box * run_vertices;
                    for (size_t v = first; v < std::min(first + run_vertices, tree.order.size());
                         ++v)
                        placed.extend(map.point(mesh.positions[tree.order[v]]));
                    continue;
                }
                const std::vector<Bounds>& below = boxes[step.level - 1];
                Step a{step.level - 1, 2 * step.box, reach(below[2 * step.box], axis, side)};
                if (2 * step.box + 1 >= below.size()) {
                    stack.push_back(a);
                    continue;
                }
                Step b{step.level - 1, 2 * step.box + 1,
                       reach(below[2 * step.box + 1], axis, side)};
                // The farther-reaching one last, to be searched first.
                if (a.reach > b.reach)
                    std::swap(a, b);
                stack.push_back(a);
                stack.push_back(b);
            }
        }
    return placed;
}

} // namespace xr
