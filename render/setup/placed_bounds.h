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
    // A mesh's vertices in an order that keeps neighbours together (along a
    // Z-order curve); the bounds of runs of them, and the bounds of pairs of
    // those, up to the bounds of all: levels.back() holds one.
    struct Tree {
        std::vector<uint32_t> order;
        std::vector<std::vector<Bounds>> levels;
    };
    const Tree& tree(const Mesh& mesh);

    std::unordered_map<const Mesh*, Tree> trees_;
    std::map<std::pair<const Mesh*, std::array<float, 12>>, Bounds> placed_;
};

} // namespace xr
