#include "render/setup/part_bounds.h"

#include "render/util/affine.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace xr {

namespace {

// Clusters a mesh is cut into at most, and vertices a cluster holds at least:
// enough that an instance's mapped cluster boxes bound it closely, few enough
// that mapping them costs little beside its vertices.
constexpr size_t most_clusters = 16;
constexpr size_t least_cluster = 64;

// The point's place along a Z-order curve through the box, ten bits an axis:
// points near on the curve are near in space.
uint32_t z_order(Vec3 p, const Bounds& box) {
    uint32_t code = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const float span = box.hi[axis] - box.lo[axis];
        const float at = span > 0.0f ? (p[axis] - box.lo[axis]) / span : 0.0f;
        const auto cell = uint32_t(std::clamp(at, 0.0f, 1.0f) * 1023.0f);
        for (int bit = 0; bit < 10; ++bit)
            code |= ((cell >> bit) & 1u) << (3 * bit + axis);
    }
    return code;
}

} // namespace

const Bounds& PartBounds::own(const Mesh& mesh) {
    auto [at, added] = own_.try_emplace(&mesh);
    if (added)
        at->second = mesh.bounds();
    return at->second;
}

const PartBounds::Clusters& PartBounds::clusters(const Mesh& mesh) {
    auto [at, added] = clusters_.try_emplace(&mesh);
    Clusters& c = at->second;
    if (!added)
        return c;
    const auto& positions = mesh.positions;
    const Bounds& all = own(mesh);
    std::vector<std::pair<uint32_t, uint32_t>> codes;
    codes.reserve(positions.size());
    for (size_t i = 0; i < positions.size(); ++i)
        codes.push_back({z_order(positions[i], all), uint32_t(i)});
    std::sort(codes.begin(), codes.end());
    for (const auto& code : codes)
        c.order.push_back(code.second);
    c.size = std::max(least_cluster, (positions.size() + most_clusters - 1) / most_clusters);
    for (size_t first = 0; first < c.order.size(); first += c.size) {
        Bounds box;
        for (size_t i = first; i < std::min(first + c.size, c.order.size()); ++i)
            box.extend(positions[c.order[i]]);
        c.boxes.push_back(box);
    }
    return c;
}

PartBounds::Placed& PartBounds::placed(const Piece& piece) {
    auto [at, added] = placed_.try_emplace(&piece);
    Placed& p = at->second;
    if (!added)
        return p;
    p.clusters = &clusters(*piece.mesh);
    for (const Bounds& box : p.clusters->boxes)
        p.loose.push_back(map_bounds(*piece.to_world, box));
    return p;
}

Bounds PartBounds::operator()(const std::vector<const Part*>& parts) {
    Bounds found;
    // A box with its corners mapped holds the vertices in it mapped, to the
    // bit: each coordinate is the same sum of products, each product no
    // smaller at the corner. So, side by side of the bounds, only instances
    // whose mesh's box reaches past what is found so far have their clusters'
    // boxes mapped, and only clusters whose box does have their vertices
    // mapped, best first: a thousand instances cost a box each, and a few of
    // them more.
    struct Loose {
        const Piece* piece;
        Bounds box;
    };
    std::vector<Loose> instances;
    for (const Part* part : parts)
        for (const Piece& piece : part->pieces) {
            const Bounds& box = own(*piece.mesh);
            if (piece.to_world)
                instances.push_back({&piece, map_bounds(*piece.to_world, box)});
            else
                found.extend(box);
        }
    if (instances.empty())
        return found;
    struct Next {
        float reach;
        const Piece* piece;
        int cluster; // -1: the instance's whole mesh
        bool operator<(const Next& other) const { return reach < other.reach; }
    };
    std::vector<Next> heap;
    Bounds exact = found;
    for (int axis = 0; axis < 3; ++axis)
        for (const float side : {-1.0f, 1.0f}) {
            auto reach = [&](const Bounds& b) { return side * (side < 0 ? b.lo : b.hi)[axis]; };
            float best = found.empty() ? -INFINITY : reach(found);
            heap.clear();
            for (const Loose& instance : instances)
                heap.push_back({reach(instance.box), instance.piece, -1});
            std::make_heap(heap.begin(), heap.end());
            while (!heap.empty() && heap.front().reach > best) {
                std::pop_heap(heap.begin(), heap.end());
                const Next next = heap.back();
                heap.pop_back();
                const Placed& p = placed(*next.piece);
                if (next.cluster < 0) {
                    for (size_t c = 0; c < p.loose.size(); ++c) {
                        heap.push_back({reach(p.loose[c]), next.piece, int(c)});
                        std::push_heap(heap.begin(), heap.end());
                    }
                    continue;
                }
                // This side's coordinate alone, as the whole point maps it.
                const Clusters& clusters = *p.clusters;
                const Affine& map = *next.piece->to_world;
                const size_t first = size_t(next.cluster) * clusters.size;
                const size_t end = std::min(first + clusters.size, clusters.order.size());
                for (size_t i = first; i < end; ++i)
                    best = std::max(
                        best,
                        side * map.point(next.piece->mesh->positions[clusters.order[i]])[axis]);
            }
            Vec3& face = side < 0 ? exact.lo : exact.hi;
            (axis == 0 ? face.x : axis == 1 ? face.y : face.z) = side * best;
        }
    return exact;
}

} // namespace xr
