// The bounds of meshes as instances place them: exactly those of the mapped
// copies, which the studio's floor, lights and framing are sized by, without
// mapping every vertex of every instance.
#pragma once

#include "render/mesh.h"
#include "render/util/affine.h"

#include <array>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

namespace xr {

class PlacedBounds {
  public:
    // The bounds of `mesh`'s vertices mapped by `map`, worked out once for
    // each mesh and map.
    Bounds operator()(const Mesh& mesh, const Affine& map);

  private:
    // A box around a run of the mesh's vertices.
    struct Box {
        Vec3 center, half;
    };
    // A mesh's vertices in an order that keeps neighbours together (along a
    // Z-order curve); boxes around runs of them, and boxes around pairs of
    // those, up to one around them all: levels.back() holds the one box.
    struct Tree {
        std::vector<uint32_t> order;
        std::vector<std::vector<Box>> levels;
    };
    const Tree& tree(const Mesh& mesh);

    std::unordered_map<const Mesh*, Tree> trees_;
    std::map<std::pair<const Mesh*, std::array<float, 12>>, Bounds> placed_;
};

} // namespace xr
