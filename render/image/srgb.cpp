#include "render/image/srgb.h"

#include <algorithm>
#include <cmath>

namespace xr {

float srgb_encode(float c) {
    if (!(c > 0.0f))
        return 0.0f;
    // The curve's constants in float give 1 - 2^-24 at 1: white must be 1.
    if (c >= 1.0f)
        return 1.0f;
    const float s = c <= 0.0031308f ? 12.92f * c : 1.055f * std::pow(c, 1.0f / 2.4f) - 0.055f;
    return std::min(s, 1.0f);
}

float srgb_decode(float e) {
    return e <= 0.04045f ? e / 12.92f : std::pow((e + 0.055f) / 1.055f, 2.4f);
}

uint8_t to_8bit(float v) {
    // NaN fails both comparisons of the clamp; map it to 0.
    v = std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f);
    return uint8_t(std::lround(v * 255.0f));
}

uint8_t srgb_encode_8bit(float c) {
    return to_8bit(srgb_encode(c));
}

} // namespace xr
