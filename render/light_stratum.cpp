#include "render/light_stratum.h"

#include "render/util/rng.h"

namespace xr {

int spread_stratum(int sample, int strata, int planned, uint32_t pixel) {
    const int full = planned / strata * strata;
    const int64_t left = planned > full ? planned - full : 1;
    const int64_t j = sample - full;
    const auto offset = int64_t(Rng::hash(pixel) % uint64_t(strata));
    return int((offset + j * strata / left) % strata);
}

} // namespace xr
