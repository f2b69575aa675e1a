// Replays a frame's recorded rays through bare Embree calls, tile by tile on
// the renderer's threads and partitioned as it does: what the frame's rays
// cost with nothing of the renderer around them.
#pragma once

#include "render/ray_log.h"

#include <embree3/rtcore.h>

#include <cstdint>

// The scenes a replay may cast rays in.
// The scenes a replay may cast rays in, which rays see by the masks of
// Intersector::Visibility.
struct KernelScenes {
    RTCScene scene;   // every object
    RTCScene casters; // the one the renderer casts shadow rays in
    RTCScene masked;  // every object, those that cast no shadow masked off shadow rays
};

enum class Replay {
    // Each ray alone, in one scene where ray masks keep the x-ray surfaces
    // out of shadow rays: the plain use of the kernel.
    plain,
    // Each ray alone, as the renderer casts it.
    renderer_calls,
    // The best the kernel offers each kind: shadow rays among the casters,
    // camera rays in coherent packets of 16, shadow rays in packets of 16 as
    // they come (mostly the samples of one light from one point).
    best,
};

struct ReplayResult {
    double seconds;
    uint64_t hits; // rays that found a surface: the same whichever way they are cast
};

ReplayResult replay(const KernelScenes& scenes, const xr::RayLog& log, int threads, Replay how);
