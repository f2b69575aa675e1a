// The bounds of parts together, exactly as their mapped copies' would be: the
// studio's floor, lights and framing are sized by them, so that an instanced
// assembly stands and is framed as its flattened copy is.
#pragma once

#include "render/setup/part.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace xr {

class PartBounds {
  public:
    Bounds operator()(const std::vector<const Part*>& parts);

  private:
    // A mesh's vertices in clusters of neighbours, with each cluster's box:
    // sorted once however many instances use the mesh, and only for meshes
    // that instances use.
    struct Clusters {
        std::vector<uint32_t> order; // the vertices, cluster after cluster
        std::vector<Bounds> boxes;
        size_t size = 0; // vertices a cluster holds (the last fewer)
    };
    // An instance's clusters, and their boxes with the corners mapped.
    struct Placed {
        const Clusters* clusters = nullptr;
        std::vector<Bounds> loose;
    };
    // A mesh's bounds, measured once however many parts use it.
    const Bounds& own(const Mesh& mesh);
    const Clusters& clusters(const Mesh& mesh);
    Placed& placed(const Piece& piece);

    std::unordered_map<const Mesh*, Bounds> own_;
    std::unordered_map<const Mesh*, Clusters> clusters_;
    std::unordered_map<const Piece*, Placed> placed_;
};

} // namespace xr
