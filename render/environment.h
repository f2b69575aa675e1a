// The studio the scene stands in: a soft gradient sky over a darker floor tone.
#pragma once

#include "render/vec.h"

namespace xr {

Color studio_environment(Vec3 direction);

} // namespace xr
