// A named piece of a model that wears one material: the meshes of one node of
// the file, each keeping the base colour its material has in the file.
#pragma once

#include "render/mesh.h"

#include <memory>
#include <string>
#include <vector>

namespace xr {

struct Piece {
    std::shared_ptr<const Mesh> mesh; // in world space
    Vec3 color;
};

struct Part {
    std::string name; // the node's path in the file, "car/body/door_left"
    std::vector<Piece> pieces;

    size_t triangles() const {
        size_t n = 0;
        for (const Piece& piece : pieces)
            n += piece.mesh->triangles();
        return n;
    }
};

} // namespace xr
