// Images as data: URLs, so that a frame travels inside its event.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xr {

// "data:image/png;base64,..." (RFC 2397, with RFC 4648's base64 alphabet).
std::string png_data_url(const std::vector<uint8_t>& png);

} // namespace xr
