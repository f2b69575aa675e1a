// Which of a light's strata a pixel's sample lights a matte surface from.
#pragma once

#include <cstdint>

namespace xr {

// The stratum of the pixel's last, incomplete round over `strata`; see
// light_stratum.
[[gnu::cold]] int spread_stratum(int sample, int strata, int planned, uint64_t pixel_stream);

// The stratum, of `strata`, that sample `sample` of the `planned` samples of a
// pixel takes; `pixel_stream` names the pixel and the seed. Samples that make
// whole rounds over the strata visit them in turn. Those of the last round,
// too few to visit them all, spread over the grid's rows and columns from a
// cell of the pixel's own, so that neighbouring pixels, and renders of other
// seeds, see different parts of the light rather than all its first cells.
inline int light_stratum(int sample, int strata, int planned, uint64_t pixel_stream) {
    const int in_round = sample % strata;
    if (sample - in_round + strata <= planned) [[likely]]
        return in_round;
    return spread_stratum(sample, strata, planned, pixel_stream);
}

} // namespace xr
