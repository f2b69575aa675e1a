// Which of a light's strata a pixel's sample lights a matte surface from.
#pragma once

#include <cstdint>

namespace xr {

// The stratum of the pixel's last, incomplete round over `strata`; see
// light_stratum.
[[gnu::cold]] int spread_stratum(int sample, int strata, int planned, uint32_t pixel);

// The stratum, of `strata`, that sample `sample` of the `planned` samples of
// pixel `pixel` (its index in the full frame) takes. Samples that make whole
// rounds over the strata visit them in turn. Those of the last round, too few
// to visit them all, spread over the whole grid from a cell of the pixel's
// own, so that neighbouring pixels see different parts of the light rather
// than all its first cells.
inline int light_stratum(int sample, int strata, int planned, uint32_t pixel) {
    const int in_round = sample % strata;
    if (sample - in_round + strata <= planned) [[likely]]
        return in_round;
    return spread_stratum(sample, strata, planned, pixel);
}

} // namespace xr
