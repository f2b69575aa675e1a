// A named piece of a model that wears one material: the meshes of one node of
// the file, each keeping the base colour its material has in the file.
#pragma once

#include "render/mesh.h"
#include "render/util/affine.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace xr {

struct Piece {
    // In world space; or, with `to_world`, in its own space, where parts that
    // use the same geometry share it.
    std::shared_ptr<const Mesh> mesh;
    Vec3 color;
    std::optional<Affine> to_world = std::nullopt;
};

struct Part {
    std::string name; // the node's path in the file, "car/body/door_left"
    std::vector<Piece> pieces;
    // What the part is one use of when other parts share its geometry (a STEP
    // product, a glTF mesh); empty otherwise.
    std::string instance_of;

    size_t triangles() const {
        size_t n = 0;
        for (const Piece& piece : pieces)
            n += piece.mesh->triangles();
        return n;
    }
};

} // namespace xr
