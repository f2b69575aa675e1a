#include "render/serve/data_url.h"

namespace xr {

std::string png_data_url(const std::vector<uint8_t>& png) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string url = "data:image/png;base64,";
    url.reserve(url.size() + (png.size() + 2) / 3 * 4);
    for (size_t i = 0; i < png.size(); i += 3) {
        const size_t n = std::min<size_t>(3, png.size() - i);
        uint32_t bits = uint32_t(png[i]) << 16;
        if (n > 1)
            bits |= uint32_t(png[i + 1]) << 8;
        if (n > 2)
            bits |= png[i + 2];
        url += digits[bits >> 18];
        url += digits[(bits >> 12) & 63];
        url += n > 1 ? digits[(bits >> 6) & 63] : '=';
        url += n > 2 ? digits[bits & 63] : '=';
    }
    return url;
}

} // namespace xr
