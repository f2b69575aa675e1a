// The rays a frame casts, recorded when asked: the render benchmark replays
// them through bare kernel calls to measure what the rest of the renderer costs.
#pragma once

#include "render/util/vec.h"

#include <cstdint>
#include <vector>

namespace xr {

enum class RayKind : uint8_t {
    camera,      // from the eye through a pixel
    see_through, // nearest-hit rays from a surface: looking through it, or a shader's
    shadow,      // towards a light sample
};

struct RecordedRay {
    Vec3 origin, direction;
    float near, far;
    RayKind kind;
};

// The renderer's tiles row by row, each with its rays in the order they were cast.
struct RayLog {
    int columns = 0, rows = 0;
    std::vector<std::vector<RecordedRay>> tiles;

    size_t rays() const {
        size_t n = 0;
        for (const auto& tile : tiles)
            n += tile.size();
        return n;
    }
};

} // namespace xr
