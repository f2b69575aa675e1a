// One use of a mesh that several parts share: the mesh is held once, in its
// own space, and each use stands in the world where its map puts it.
#pragma once

#include "render/util/affine.h"

namespace xr {

struct Instance {
    explicit Instance(const Affine& map)
        : to_world(map), normals(map.normals()), size(map.linear.magnitudes()),
          back_size(map.linear.inverse().magnitudes()) {}

    Affine to_world;
    // Worked out once rather than at every hit: to_world's map of normals,
    // and the magnitudes of its linear part and of that part's inverse, which
    // bound how rounding errors grow through the map and back.
    Linear normals, size, back_size;
};

} // namespace xr
