#include "render/light_stratum.h"

#include "render/util/rng.h"

namespace xr {

int spread_stratum(int sample, int strata, int planned, uint64_t pixel_stream) {
    const int full = planned / strata * strata;
    // Steps of the golden ratio's fraction through the cells, row by row: a
    // few of them fall in different rows and columns, where even steps could
    // keep to one column. In whole numbers, so every platform takes the same.
    const auto j = uint32_t(sample - full);
    const uint64_t fraction = uint32_t(j * 2654435769u); // j / phi, times 2^32
    const uint64_t offset = Rng::hash(pixel_stream) % uint64_t(strata);
    return int((offset + (fraction * uint64_t(strata) >> 32)) % uint64_t(strata));
}

} // namespace xr
