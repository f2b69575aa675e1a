// Turntables: frames numbered from 1 in which the camera orbits its target
// once, each frame sampled with a seed of its own, so that a frame is the same
// whichever process renders it and whatever else that process renders.
#pragma once

#include "render/camera.h"

#include <cstdint>

namespace xr {

// The camera of frame `frame` of `frames`: turned about the vertical axis
// through its target by (frame - 1) / frames of a turn, to its right. Frame 1
// is the camera itself.
Camera turntable_camera(const Camera& camera, int frame, int frames);

// The seed of a frame's samples; frame 1 keeps the scene's seed.
uint32_t frame_seed(uint32_t seed, int frame);

} // namespace xr
