#include "render/image.h"

#include <algorithm>
#include <cmath>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>

namespace xr {

namespace {

uint8_t quantize(float v) {
    // NaN fails both comparisons of the clamp; map it to 0.
    v = std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f);
    return uint8_t(std::lround(v * 255.0f));
}

void append(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    auto* begin = static_cast<const uint8_t*>(data);
    bytes->insert(bytes->end(), begin, begin + size);
}

} // namespace

uint8_t encode_srgb(float c) {
    if (!(c > 0.0f))
        return 0;
    const float s = c <= 0.0031308f ? 12.92f * c : 1.055f * std::pow(c, 1.0f / 2.4f) - 0.055f;
    return quantize(s);
}

std::vector<uint8_t> encode_png(const Image& image) {
    std::vector<uint8_t> rgba;
    rgba.reserve(image.pixels.size() * 4);
    for (const Color& c : image.pixels)
        rgba.insert(rgba.end(),
                    {encode_srgb(c.r), encode_srgb(c.g), encode_srgb(c.b), quantize(c.a)});
    std::vector<uint8_t> png;
    if (!stbi_write_png_to_func(append, &png, image.width, image.height, 4, rgba.data(),
                                image.width * 4))
        png.clear();
    return png;
}

} // namespace xr
