// The set every scene stands on: a checkered floor, a key point light, a soft
// area light, and a camera framing the subject.
#pragma once

#include "render/scene.h"

namespace xr {

constexpr Tag key_light = 1;  // the point light
constexpr Tag soft_light = 2; // the area light

// Adds floor and lights sized to `subject`, and frames it with the camera.
void add_studio(Scene& scene, const Bounds& subject);

} // namespace xr
