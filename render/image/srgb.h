// The sRGB transfer function, between linear light and encoded values in [0, 1].
#pragma once

namespace xr {

// Clamps to [0, 1]; NaN and negative values encode as 0.
float srgb_encode(float linear);
float srgb_decode(float encoded);

} // namespace xr
