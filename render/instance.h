// One use of a mesh that several parts share: the mesh is held once, in its
// own space, and each use stands in the world where its map puts it.
#pragma once

#include "render/util/affine.h"

namespace xr {

struct Instance {
    explicit Instance(const Affine& map) : to_world(map), normals(map.normals()) {}

    Affine to_world;
    Linear normals; // to_world's map of normals, worked out once
};

} // namespace xr
