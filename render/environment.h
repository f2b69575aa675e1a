// What rays that leave the scene see: the studio backdrop (a soft gradient sky
// over a darker floor tone) or a solid colour.
#pragma once

#include "render/vec.h"

#include <optional>

namespace xr {

struct Environment {
    std::optional<Vec3> background; // the studio backdrop when absent

    Color color(Vec3 direction) const;
};

} // namespace xr
