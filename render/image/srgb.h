// The sRGB transfer function, between linear light and encoded values in [0, 1].
#pragma once

#include <cstdint>

namespace xr {

// Clamps to [0, 1]: NaN and negative values encode as 0, 1 and above as 1.
float srgb_encode(float linear);
float srgb_decode(float encoded);

// A value in [0, 1] as 8 bits, rounded; clamped, NaN as 0.
uint8_t to_8bit(float value);
// Linear light as an 8-bit sRGB-encoded value.
uint8_t srgb_encode_8bit(float linear);

} // namespace xr
